#pragma once

// What the batch loop does after one mod: end the program, go on, or stop the batch.
enum class PackResult { Fatal = -1, Done = 0, Cancelled = 1 };
