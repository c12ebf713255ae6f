# SPDX-License-Identifier: Apache-2.0
# What the flashutil modules share: the command line that reaches the drives, the drive list
# the program prints with --list --json, the utility each drive gets, and the error line it
# ends a failed run with.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json

# Options of the utility that choose which drives are looked at: the list of the drives
# must see the same drives as the run, and nothing else of the run (a trace, say).
DRIVE_OPTIONS = ("--virtual-drive", "--device")


def drive_option(word):
    """The drive option WORD names, abbreviated as the program allows, and whether its value
    is the next word; None for another option."""
    name = word.split("=", 1)[0]
    if name == "-d":
        return "--device", True
    if name.startswith("-d") and not name.startswith("--"):
        return "--device", False  # -d/dev/sg3
    for option in DRIVE_OPTIONS:
        if len(name) > 3 and option.startswith(name):
            return option, option == "--device" and "=" not in word
    return None


def drive_options(options):
    """The options among OPTIONS that choose the drives, each with its value."""
    chosen = []
    take_next = False
    for word in options:
        if take_next:
            chosen.append(word)
            take_next = False
        elif word == "--":
            break
        elif drive_option(word):
            chosen.append(word)
            take_next = drive_option(word)[1]
    return chosen


def command(program, utility, mode, options):
    """The command that runs MODE (a list of options) on the host's drives: the installed
    PROGRAM with the UTILITY (a file, or a folder of utilities) as data, or, without a
    program, the utility itself."""
    argv = [program or utility] + list(mode) + list(options)
    if program and utility:
        argv += ["--", utility]  # the utility as data, whatever its name
    return argv


# What names a utility in the program's JSON: its file, digest, maker, new revision and
# signature (verdict, signer, fingerprint).
UTILITY_KEYS = ("file", "file_sha256", "maker", "new_revision", "signature")


def signature_of(described):
    """The signature DESCRIBED with signer and fingerprint None for none: earlier versions of
    the program wrote "" for none, later ones write null."""
    if not isinstance(described, dict):
        return None
    return dict((key, described.get(key) or None) if key != "verdict" else (key, described.get(key))
                for key in ("verdict", "signer", "fingerprint"))


def utility_of(described):
    """The utility DESCRIBED (a "utility" object of the program's JSON) by its UTILITY_KEYS;
    None for none."""
    if not isinstance(described, dict):
        return None
    utility = dict((key, described.get(key)) for key in UTILITY_KEYS)
    utility["signature"] = signature_of(utility["signature"])
    return utility


def new_revision_of(drive):
    """The revision a utility installs on DRIVE (a drive of --list --json): "new_revision",
    or "installs_revision" as earlier versions of the program spelled it."""
    return drive.get("new_revision", drive.get("installs_revision"))


def last_error(stderr):
    """The program's last error line, which names the device or file and the cause."""
    lines = [line for line in stderr.splitlines() if line.startswith("flashutil: ")]
    return lines[-1][len("flashutil: "):] if lines else ""


def list_drives(module, program, options, folder=""):
    """The drives of the host as --list --json of PROGRAM gives them (with a FOLDER of
    utilities, each with the utility of it that would flash it), the command, and an error
    text ("" when the list was read). Only INQUIRY and the identification are sent: nothing is
    written to a drive."""
    argv = command(program, folder, ["--list", "--json"], options)
    rc, stdout, stderr = module.run_command(argv)
    try:
        document = json.loads(stdout)
    except ValueError:
        document = None
    if not isinstance(document, dict) or not isinstance(document.get("drives"), list):
        why = last_error(stderr) or stderr.strip() or "no drive list (exit status %d)" % rc
        return [], argv, why
    return [d for d in document["drives"] if isinstance(d, dict)], argv, ""
