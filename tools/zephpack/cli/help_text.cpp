#include "tools/zephpack/cli/help_text.h"

namespace ZephPack {
namespace {

struct Help {
    const char* command;
    const char* text;
};

constexpr Help kHelp[] = {
    {"diff",
     "Usage: zephpack diff OLD_TREE NEW_TREE PATCH_DIR\n"
     "\n"
     "Writes PATCH_DIR (new or empty): the lists of added, deleted and patched files with\n"
     "their MD5 sums, the added files, and a difference file made by orbpatch for every\n"
     "changed one. The same trees always give the same bytes.\n"
     "\n"
     "Exit status: 0 done, 1 usage error, 2 a tree cannot be read or patched, 3 PATCH_DIR\n"
     "cannot be written, 4 the difference tool failed.\n"},
    {"archive",
     "Usage: zephpack archive PATCH_DIR ARCHIVE [--format 1|2]\n"
     "\n"
     "Packs a patch directory into a patch archive (format 2 unless told), entries in byte\n"
     "order of their names, so that the same folder always gives the same archive.\n"},
    {"unpack",
     "Usage: zephpack unpack ARCHIVE DIR\n"
     "\n"
     "Unpacks a patch archive into DIR (created when missing), as the installer does.\n"},
    {"embed",
     "Usage: zephpack embed INSTALLER OUT --patch FROM TO ARCHIVE [--patch FROM TO ARCHIVE]...\n"
     "\n"
     "Writes OUT: a copy of INSTALLER carrying the patch archives, each applying to build FROM\n"
     "and leading to build TO. Builds are 1 to 31 printable characters; a build may start one\n"
     "patch only, and no patch may lead from a build to itself.\n"},
    {"list",
     "Usage: zephpack list EXECUTABLE\n"
     "\n"
     "Prints the patches an installer carries: builds, offsets and sizes.\n"},
    {"catalogue",
     "Usage: zephpack catalogue CATALOGUE FROM TO URL [FROM TO URL]...\n"
     "\n"
     "Writes a patch server's catalogue (patches.txt): one record per patch, from build FROM\n"
     "to build TO, its archive at URL. A URL starting with ftp://, http:// or https:// is\n"
     "taken as it is; any other is relative to the server (and to the folder of CATALOGUE):\n"
     "that archive must exist, and its size and SHA-256 go into the record, which installers\n"
     "with a signing key require. Quote a URL holding a backslash in the shell.\n"},
    {"keygen",
     "Usage: zephpack keygen PUBLIC_KEY SECRET_KEY [--force]\n"
     "\n"
     "Makes a signing key pair in minisign's formats. The secret key file is written with mode\n"
     "0600 and without a password (minisign -C adds one); its contents are never printed. The\n"
     "public key's line is printed: installers trust it from the registry value\n"
     "PatchSigningKeys or from the build option ORVIK_PATCH_SIGNING_KEYS.\n"
     "\n"
     "Options:\n"
     "  --force   Replace existing key files.\n"},
    {"sign",
     "Usage: zephpack sign FILE SECRET_KEY [--signature SIG] [--trusted-comment TEXT |\n"
     "                     [--sequence N] [--expires-in DAYS]]\n"
     "\n"
     "Writes a detached minisign signature of FILE (prehashed, as minisign signs by default),\n"
     "to FILE.minisig unless told. Its trusted comment is the catalogue stamp installers\n"
     "check, \"timestamp:NOW expires:NOW+DAYS sequence:N\", unless --trusted-comment gives\n"
     "another. A secret key with a password asks for it on the terminal, or reads it as one\n"
     "line of standard input.\n"
     "\n"
     "Options:\n"
     "  --signature SIG         Where the signature goes.\n"
     "  --trusted-comment TEXT  The signed comment, as it is.\n"
     "  --sequence N            The catalogue's sequence number; by default one more than\n"
     "                          that of the signature already at SIG, or 1.\n"
     "  --expires-in DAYS       Days until installers refuse the catalogue (30).\n"},
    {"verify",
     "Usage: zephpack verify FILE PUBLIC_KEY [--signature SIG]\n"
     "\n"
     "Checks the minisign signature of FILE (FILE.minisig unless told), prehashed or legacy,\n"
     "against PUBLIC_KEY, a public key file or its base64 line, and prints its trusted\n"
     "comment. A catalogue stamp that has expired fails, as it does in installers.\n"
     "\n"
     "Options:\n"
     "  --signature SIG   The signature file.\n"},
    {"release",
     "Usage: zephpack release OLD_TREE NEW_TREE --from B1 --to B2 --out DIR [--key SECRET]\n"
     "                        [--base-url URL] [--sequence N] [--expires-in DAYS]\n"
     "\n"
     "The step a publisher repeats for every new build: the difference between the trees,\n"
     "the archive DIR/B1_to_B2.zpa, its record (with size and SHA-256) added to or updated in\n"
     "DIR/patches.txt, and with a key the signature DIR/patches.txt.minisig. Prints what it\n"
     "did. The same inputs give the same bytes, the signature's time aside.\n"
     "\n"
     "Options:\n"
     "  --from B1, --to B2   The builds the patch leads from and to.\n"
     "  --out DIR            The server's folder (created when missing).\n"
     "  --key SECRET         Sign the catalogue with this secret key.\n"
     "  --base-url URL       Name the archive by URL/B1_to_B2.zpa instead of by its path\n"
     "                       relative to the catalogue.\n"
     "  --sequence N         As for sign.\n"
     "  --expires-in DAYS    As for sign.\n"},
};

}  // namespace

const char kMainHelp[] =
    "Usage: zephpack COMMAND [ARGUMENTS]...\n"
    "  or:  zephpack help [COMMAND]\n"
    "  or:  zephpack --version\n"
    "\n"
    "Builds what the Velmor patch installer reads: patch directories and archives, installers\n"
    "carrying patches, and the signed catalogue of a patch server.\n"
    "\n"
    "Commands:\n"
    "  diff OLD_TREE NEW_TREE PATCH_DIR        the patch directory between two trees\n"
    "  archive PATCH_DIR ARCHIVE               a patch archive of a patch directory\n"
    "  unpack ARCHIVE DIR                      a patch archive unpacked\n"
    "  embed INSTALLER OUT --patch FROM TO ARCHIVE...\n"
    "                                          an installer carrying patch archives\n"
    "  list EXECUTABLE                         the patches an installer carries\n"
    "  catalogue CATALOGUE FROM TO URL...      a patch server's catalogue\n"
    "  keygen PUBLIC_KEY SECRET_KEY            a signing key pair (minisign's formats)\n"
    "  sign FILE SECRET_KEY                    a detached signature (FILE.minisig)\n"
    "  verify FILE PUBLIC_KEY                  a signature checked\n"
    "  release OLD_TREE NEW_TREE --from B1 --to B2 --out DIR [--key SECRET]\n"
    "                                          diff, archive, catalogue record and signature\n"
    "\n"
    "Options:\n"
    "  -h, --help   Print this help, or after a command that command's help, and exit.\n"
    "  --version    Print the version and exit.\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 usage error (diff has its own, see its help).\n"
    "Every command prints a one-line summary of what it did (release: one line per step).\n";

const char* CommandHelp(std::string_view command) {
    for (const Help& help : kHelp) {
        if (command == help.command)
            return help.text;
    }
    return nullptr;
}

}  // namespace ZephPack
