// Ids of the resources carried in TolvanePacker.exe; shared by the resource
// script and the code that loads them.
#pragma once

#define IDB_BACKGROUND 100
#define IDI_APPICON 200
