#include "cli/usage.h"

#include "tvp_version.h"

const char16_t kVersionText[] = u"tvpack (Tolvane Packer) " TVP_VERSION "\n";

const char16_t kUsageText[] =
    u"Usage: tvpack COMMAND [OPTIONS] ARGUMENTS\n"
    u"\n"
    u"Commands:\n"
    u"  pack [--overwrite | --skip] MOD.tvx...\n"
    u"      Pack each mod file, with the mod directory of the same name beside it,\n"
    u"      into an archive MOD.tvp beside it, one after another. Prints what the\n"
    u"      packer reports. When an archive exists already, the question is asked\n"
    u"      on the terminal and answered from standard input ([y]es/[n]o/[c]ancel);\n"
    u"      --overwrite answers yes and --skip answers no without asking.\n"
    u"      Cancel stops the remaining mods; no answer at all stops with an error.\n"
    u"  list [--json] ARCHIVE.tvp\n"
    u"      Show each file of the archive: number, size in bytes and path.\n"
    u"  extract [--force] ARCHIVE.tvp [DIR]\n"
    u"      Recreate the mod file and the mod directory under DIR (default: the\n"
    u"      current directory). Existing files are kept unless --force is given.\n"
    u"  verify [--strict] ARCHIVE.tvp\n"
    u"      Check the archive's layout and, when the mod lies beside the archive,\n"
    u"      that the archive holds exactly the mod's files, byte for byte.\n"
    u"      --strict also shows the choices the format leaves to the writer that\n"
    u"      differ from tvpack's own; they are never problems.\n"
    u"\n"
    u"Options:\n"
    u"  -h, --help   show this text\n"
    u"  --version    show the version\n"
    u"\n"
    u"Exit status: 0 when everything asked for succeeded (every mod packed),\n"
    u"1 when something failed, 2 for a usage error.\n";
