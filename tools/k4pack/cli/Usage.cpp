// Help and version texts of k4pack.
#include "Usage.h"

#include "pack/EmbeddedStubs.h"

namespace k4pack {
namespace {

constexpr const char* kUsage =
    "Usage: k4pack [OPTIONS] -o OUT.exe [-s STUB.exe | --arch ARCH] INPUT...\n"
    "       k4pack [OPTIONS] -o OUT.exe [-s STUB.exe | --arch ARCH] --cab FILE.cab\n"
    "       k4pack inspect [--json] FILE.exe\n"
    "       k4pack verify FILE.exe [SOURCE...]\n"
    "       k4pack --version\n"
    "\n"
    "Packs files and folders into a cabinet and appends it, behind three texts, to a copy\n"
    "of an extractor program: the result OUT.exe is a self-extractor. k4pack carries the\n"
    "extractor programs for i686 (the default) and x86_64; -s takes another one.\n"
    "A file INPUT is stored under its own name; a folder INPUT contributes everything\n"
    "below it, named relative to the folder, with backslashes between folder names.\n"
    "'inspect' prints the texts and the cabinet's file list of a self-extractor (--json:\n"
    "as JSON). 'verify' reads a self-extractor as the extractor does, checks its cabinet\n"
    "and decompresses every member; with SOURCEs (the INPUTs it was packed from) it also\n"
    "compares names, sizes, times and bytes. It prints one line per fault.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE      write the self-extractor to FILE (replaced only on success)\n"
    "  -s, --stub FILE        the extractor program, a Windows PE file\n"
    "      --arch ARCH        the carried extractor program to use: i686 or x86_64\n"
    "  -t, --target TEXT      default target directory (text 1, at most 255 bytes)\n"
    "  -c, --caption TEXT     window caption (text 2, at most 255 bytes)\n"
    "  -T, --title TEXT       title line (text 3, at most 255 bytes)\n"
    "      --cab FILE         carry the existing cabinet FILE as is instead of INPUTs\n"
    "  -0, --no-compression   store the files uncompressed (default: MSZIP)\n"
    "  -j, --threads N        compress on N threads (default: one per core; the\n"
    "                         archive is the same for any N)\n"
    "  -q, --quiet            no progress line on a terminal\n"
    "      --run COMMAND      an installer archive: after extracting, start COMMAND,\n"
    "                         whose first token is a file of the archive (its path\n"
    "                         inside it, \\ or /; in double quotes when it holds a\n"
    "                         blank), the rest its arguments, passed as written\n"
    "      --run-temporary    (with --run) extract into a fresh folder under the\n"
    "                         user's temporary folder, removed after the command\n"
    "      --json             (inspect) print the report as JSON\n"
    "  -V, --version          show the version and the carried extractor programs\n"
    "  -h, --help             show this help and exit\n"
    "\n"
    "The program's icon, version information and execution level (each left as the\n"
    "extractor program has it unless given; texts UTF-8, at most 255 characters):\n"
    "      --icon FILE.ico            every image of the icon file\n"
    "      --product-name TEXT        ProductName\n"
    "      --company TEXT             CompanyName\n"
    "      --description TEXT         FileDescription\n"
    "      --copyright TEXT           LegalCopyright\n"
    "      --product-version A.B.C.D  ProductVersion, and the fixed part's\n"
    "      --file-version A.B.C.D     FileVersion, and the fixed part's\n"
    "      --execution-level LEVEL    asInvoker, highestAvailable or requireAdministrator\n"
    "\n"
    "Reproducible output: the same inputs give the same bytes. With SOURCE_DATE_EPOCH set\n"
    "(seconds since 1970), file times later than it are stored as it.\n"
    "\n"
    "Signing: pack first, then sign OUT.exe; never pack a signed program. Signing appends\n"
    "a certificate table, and the extractor finds its payload in front of it. For example:\n"
    "  k4pack -o setup.exe files/\n"
    "  openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem \\\n"
    "      -days 365 -subj '/CN=Example Publisher'\n"
    "  osslsigncode sign -certs cert.pem -key key.pem -in setup.exe -out setup-signed.exe\n"
    "  osslsigncode verify -CAfile cert.pem -in setup-signed.exe\n"
    "  k4pack verify setup-signed.exe files/\n"
    "\n"
    "The self-extractors accept switches for unattended runs (see README.md, section\n"
    "'Unattended extraction'): /Q quiet, no window, an exit code; /T:DIR target; /L list;\n"
    "/LOG:FILE append a line per event; /? the switches. For example:\n"
    "  setup.exe /Q /T:\"C:\\Some Dir\" /LOG:C:\\setup.log\n"
    "\n"
    "Installer archives (see README.md, section 'Installer archives'): the archive\n"
    "starts the command in the extraction folder, waits for it and every process it\n"
    "started, and with /Q exits with the command's exit code. For example:\n"
    "  k4pack --run \"setup.exe /quiet\" -o pkg.exe files/\n"
    "  k4pack --run '\"tools/my setup.exe\" /S' --run-temporary -o pkg.exe files/\n"
    "\n"
    "Exit status: 0 success, 1 failure (no output written; for verify: a fault found),\n"
    "2 command line not understood, or a --run program that is not a file of the archive.\n";

}  // namespace

void PrintUsage(std::ostream& out) {
    out << kUsage;
}

void PrintVersion(std::ostream& out) {
    out << "k4pack " << K4PACK_VERSION << "\n";
    bool any = false;
    for (StubArch arch : {StubArch::I686, StubArch::X86_64}) {
        const std::size_t size = EmbeddedStub(arch).size();
        if (size == 0) continue;
        if (!any) out << "carried extractor programs:\n";
        any = true;
        out << "  " << ArchName(arch) << std::string(8 - ArchName(arch).size(), ' ') << size << " bytes\n";
    }
    if (!any) out << "carried extractor programs: none (a build without stubs: give -s STUB.exe)\n";
}

}  // namespace k4pack
