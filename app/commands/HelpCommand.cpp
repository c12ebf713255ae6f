// SPDX-License-Identifier: Apache-2.0
// --help and --version. The help text is the reference a person reads first in a terminal:
// every option, grouped by what it is for, one example per mode, and the exit codes (taken
// from the ExitCode constants, so the text cannot drift from what the commands return).
#include <cstdio>
#include <string>

#include "app/commands/Commands.h"
#include "app/terminal/TextColumns.h"
#include "ui/Translate.h"

namespace {

constexpr const char* FileVersion = FLASHUTIL_VERSION;  // the project's version, from CMake
constexpr const char* FileDescription = N_("Flash utility for CD-RW drive");

constexpr const char* Usage = N_(
    "Usage: flashutil [--list | --cli | --build | --info | --extract-image OUT | --history |\n"
    "                  --verify | --help | --version] [OPTION...] [FILE]\n");

constexpr const char* Modes = N_(
    "\n"
    "Updates the firmware of a CD-RW/DVD drive. A built copy carries the drive identity it\n"
    "is meant for and the firmware image (flash mode); a blank copy builds such copies\n"
    "from a model INI file and an image file (builder mode).\n"
    "\n"
    "Modes (at most one; without any the program opens its window):\n"
    "  (none) [FILE]          the window: flash mode on a built copy, builder mode on a\n"
    "                         blank copy; with FILE, flash the utility FILE\n"
    "  --list                 list the detected drives: identity line, then device path\n"
    "                         (with -v, each drive's id and serial below its line)\n"
    "  --cli [FILE]           flash from the terminal (built copy); questions are asked\n"
    "                         as y/N prompts. FILE: flash the utility FILE, read as\n"
    "                         data and never run (the safe way to use a utility that\n"
    "                         came from elsewhere)\n"
    "  --build                build a flash utility without the window (blank copy)\n"
    "  --info [FILE]          describe this program, or another copy FILE, without\n"
    "                         touching a drive\n"
    "  --extract-image OUT [FILE]\n"
    "                         write the image this program (or FILE) carries to OUT\n"
    "                         (\"-\": standard output)\n"
    "  --history              show the runs made on drives, oldest first (every run\n"
    "                         that sends anything to a drive is recorded; the file\n"
    "                         is FLASHUTIL_HISTORY when set)\n"
    "  --verify [FILE]        check that this program, or FILE, is intact and signed by\n"
    "                         a trusted key (exit 0); else say why (codes below)\n"
    "  -h, --help             show this help and exit\n"
    "  -V, --version          show the version and exit\n"
    "Options may be abbreviated where that is unambiguous; \"--\" ends them.\n");

constexpr const char* DriveSelection = N_(
    "\n"
    "Drive selection (window, --list, --cli; --device or --virtual-drive, not both):\n"
    "  -d, --device PATH      use only this drive (/dev/sgN, or /dev/srN); repeated,\n"
    "                         only these drives (without --all the first that qualifies)\n"
    "  --virtual-drive[=OPTIONS]\n"
    "                         use in-memory virtual drives instead of real ones; by\n"
    "                         default they fit the program's embedded identity; each\n"
    "                         one given adds its drives with its own OPTIONS.\n"
    "                         OPTIONS is a comma-separated list of KEY=VALUE:\n"
    "      inquiry=TEXT       vendor and product: 24 characters, padded with blanks\n"
    "      rev=XXXX           firmware revision, 4 characters\n"
    "      newrev=XXXX        revision the drive reports after a commit\n"
    "      chip=HHHHHHHH      flash-chip identity: 8 hex digits (first 4 bytes of the\n"
    "                         flash-ID reply)\n"
    "      disc=0|1           whether a disc is in the tray\n"
    "      ready=N            polls answered \"becoming ready\" after a load\n"
    "      count=N            that many identical drives\n"
    "      fail=N:KK/AA/QQ    the N-th command (counting from 1, INQUIRY included) fails\n"
    "                         with sense key KK, ASC AA, ASCQ QQ (two hex digits each)\n"
    "      corrupt=N          the N-th command's read data comes back with one byte\n"
    "                         altered\n"
    "      status=N:SS        the N-th command ends with status byte SS (hex), no sense\n"
    "      error=N:E          the N-th command fails in the system with errno E (a\n"
    "                         number or a name such as EIO)\n"
    "      timeout=N          the N-th command times out\n"
    "      commit-ms=N        the commit takes N milliseconds\n"
    "      open-error=E       opening the drive fails with errno E\n"
    "      unplug=N           the drive is unplugged after its N-th command\n"
    "      replay=FILE        the drive of a recording (--trace-data), played back; a\n"
    "                         command that differs from it stops the run (exit code 8)\n"
    "                         (a regular file of at most 64 MiB; no other key with it)\n"
    "                         fail, status, error, timeout and corrupt may be repeated.\n");

constexpr const char* HistoryOptions = N_(
    "\n"
    "History (--history):\n"
    "  --device-id ID         only the runs of the drive with this id (\"device_id\" in\n"
    "                         --list --json), whichever node it had at each run\n");

constexpr const char* Flashing = N_(
    "\n"
    "Flashing (--cli, and --trace and --no-commit for the window too):\n"
    "  --all                  flash every qualifying drive at once: one warning, one\n"
    "                         confirmation listing every drive, one restart question\n"
    "                         after every commit; a summary table at the end\n"
    "  -v, --verbose          one line on standard error for each drive command: the\n"
    "                         device, the command, its CDB, and how it ended in words\n"
    "                         (also for --list and the window)\n"
    "  -q, --quiet            print nothing but errors (also for --build); questions are\n"
    "                         still asked on a terminal\n"
    "  -y, --yes              answer Yes to every question except the restart, which is\n"
    "                         answered No; without a terminal --cli refuses without it\n"
    "  --trace FILE           write every drive command to FILE as it is sent, one JSON\n"
    "                         object per line\n"
    "  --trace-data           with --trace: record what a replay needs, the data the drive\n"
    "                         returned and the SHA-256 of the data sent (never the image)\n"
    "  --no-commit            rehearse: upload the image and read it back, but never ask\n"
    "                         the drive to change its flash (exit 0 when it came back intact)\n"
    "\n"
    "Listing (--list), and --cli, --info, --history:\n"
    "  --json                 JSON instead of text; --list prints one document\n"
    "                         {\"schema\": ..., \"drives\": [...]}, also when no drive is\n"
    "                         found; --cli a stream of JSON lines (events: question,\n"
    "                         run_started, step, progress, message, drive_finished,\n"
    "                         summary), the person's texts on stderr; a usage error\n"
    "                         is also one JSON document on stdout. Schemas:\n"
    "                         /usr/share/flashutil/schema/\n"
    "\n"
    "Building (--build):\n"
    "  --model N              model N of the model file, counting from 0 (section\n"
    "                         MODEL00 is model 0)\n"
    "  --image FILE           the firmware image file\n"
    "  --ini FILE             the model file (also for the builder window); without it\n"
    "                         the first found of: beside the program (flashutil.INI),\n"
    "                         $XDG_CONFIG_HOME/flashutil/flashutil.INI (default\n"
    "                         ~/.config/...), /etc/flashutil/flashutil.INI. An example:\n"
    "                         /usr/share/doc/flashutil/examples/flashutil.INI\n"
    "  --output-dir DIR       where the new utility is written (default: the current\n"
    "                         directory)\n"
    "  --profiles FILE        the drive maker's four flash-chip profiles (3,326 bytes),\n"
    "                         embedded for profile and DVD images (default: the model's\n"
    "                         Profiles= key, if any)\n"
    "  --sign-key FILE        sign the utility with the maker's Ed25519 private key\n"
    "                         (PEM; refused when its group or others may read it)\n"
    "\n"
    "Signatures: trusted signers' public keys (PEM, the file's name is the signer's\n"
    "name) are read from /etc/flashutil/trusted-keys/ and\n"
    "$XDG_CONFIG_HOME/flashutil/trusted-keys/ (default ~/.config/...). With\n"
    "RequireSignature=yes in /etc/flashutil/flashutil.conf, a copy not signed by a key\n"
    "in /etc/flashutil/trusted-keys/ is refused before any drive command.\n"
    "\n"
    "Window (no mode): Qt's -platform, -display and -style options are passed on.\n");

constexpr const char* WindowOptions = N_(
    "  --choose-utility       without FILE, ask for the utility to flash or a folder\n"
    "                         of utilities (cancelled: nothing is done); the\n"
    "                         \"Update drive firmware\" menu entry\n"
    "  --choose-model-file    builder: with no model file found, a file chooser asks for\n"
    "                         one instead of \"Can't load\"; the chosen file and image\n"
    "                         folder are kept in $XDG_CONFIG_HOME/flashutil/desktop.conf\n"
    "                         (the \"Build flash utilities\" menu entry)\n");

constexpr const char* Examples = N_(
    "\n"
    "Examples:\n"
    "  flashutil                                   open the window\n"
    "  flashutil --list --virtual-drive            list a virtual drive\n"
    "  flashutil --cli --yes --virtual-drive       flash a virtual drive from the terminal\n"
    "  flashutil --cli --yes --all --json          flash every qualifying drive, report\n"
    "                                              as JSON lines\n"
    "  flashutil --build --model 0 --image QF10.BIN\n"
    "                                              build QF10.EXE for model 0 (MODEL00)\n"
    "  flashutil --info QF10.EXE                   describe QF10.EXE without running it\n"
    "  flashutil --build --model 0 --image QF10.BIN --sign-key maker.key\n"
    "                                              build and sign QF10.EXE\n"
    "  flashutil --verify QF10.EXE                 check QF10.EXE's signature\n"
    "  flashutil --cli QF10.EXE                    flash the utility QF10.EXE as data\n"
    "  flashutil --cli --all --yes firmware/       flash each drive with the utility of\n"
    "                                              the folder firmware/ that fits it\n"
    "  flashutil --list firmware/                  name the utility each drive gets\n");

// The help fits a terminal of 80 columns in every language: a translation's line that is
// longer is wrapped at its hanging indent.
constexpr std::size_t HelpColumns = 80;

}  // namespace

int RunHelp() {
    std::string help;
    for (const char* part : {Usage, Modes, DriveSelection, HistoryOptions, Flashing, WindowOptions, Examples})
        help += _(part);
    char exits[8192];
    // One table for every command: --verify's own codes share it, its 10 a meaning of its own.
    static_assert(ExitCode::VerifyDamaged == ExitCode::NothingToDo && ExitCode::VerifyUnsigned == 11 &&
                  ExitCode::VerifyUntrusted == 12 && ExitCode::VerifyPolicy == 13);
    std::snprintf(exits, sizeof exits, _(
        "\n"
        "Exit status (--list, --cli, --build, --verify; --verify has codes of its own):\n"
        "  %2d  success (--verify: intact and signed by a trusted key)\n"
        "  %2d  other failure (a build that failed, a file that could not be read; --verify:\n"
        "      the file can't be read, or is no copy of flashutil)\n"
        "  %2d  usage error\n"
        "  %2d  no drive found, or no drive qualifies\n"
        "  %2d  a question declined\n"
        "  %2d  drive busy, or permission denied\n"
        "  %2d  failure before the commit: nothing was changed in the drive\n"
        "  %2d  failure at or after the commit: the drive may need the update again\n"
        "  %2d  a replay left its recording (--virtual-drive=replay=FILE)\n"
        "  %2d  --all: some drives completed, others did not (named on stderr)\n"
        "  %2d  nothing to do: every qualifying drive has this revision or a newer one\n"
        "      (--verify: damaged, its seal or its signature does not match)\n"
        "  %2d  --verify: not signed\n"
        "  %2d  --verify: signed by a key not trusted here\n"
        "  %2d  --verify: signed by a key only the user trusts, where the policy requires\n"
        "      the system's\n"
        "The window exits with 0, or with %d when the built copy is damaged or refused (and\n"
        "with %d for a replay that left its recording). Without a display (no DISPLAY or\n"
        "WAYLAND_DISPLAY) the program runs the terminal flash instead, with these exit codes.\n"
        "A damaged copy (its seal or signature does not match), or one the policy refuses,\n"
        "ends a run with %d before any drive command.\n"),
        ExitCode::Success, ExitCode::Failure, ExitCode::Usage, ExitCode::NoDrive, ExitCode::Refused,
        ExitCode::Busy, ExitCode::FailedBeforeCommit, ExitCode::FailedAtCommit, ExitCode::ReplayDiverged,
        ExitCode::PartialSuccess, ExitCode::NothingToDo, ExitCode::VerifyUnsigned, ExitCode::VerifyUntrusted,
        ExitCode::VerifyPolicy, ExitCode::FailedBeforeCommit, ExitCode::ReplayDiverged,
        ExitCode::FailedBeforeCommit);
    help += exits;
    std::fputs(WrapColumns(help, HelpColumns).c_str(), stdout);
    return ExitCode::Success;
}

int RunVersion() {
    std::printf("flashutil %s\n%s\n%s\n", FileVersion, _(FileDescription),
                _("Licensed under the Apache License, Version 2.0 (SPDX: Apache-2.0)."));
    return ExitCode::Success;
}
