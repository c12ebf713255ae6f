#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
# Runs a flash utility, or a folder of them, on every qualifying optical drive of the host and
# turns its JSON stream into a result Ansible can act on. Parsing the stream here keeps the role's YAML plain.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: flashutil_flash
short_description: Flash every qualifying optical drive of a host with a flashutil flash utility
description:
  - Runs the installed flashutil on the utility (or, without one, the utility itself) with
    C(--cli --all --yes --json=compact) and reads how each drive ended.
  - Given a C(catalogue), a folder of utilities, instead, the installed flashutil flashes each
    drive with the utility of the folder that fits it; the utilities are read as data, never
    run. Each drive's result names the utility it got.
  - In check mode the run is a rehearsal (C(--no-commit)) in which every drive takes the image
    and gives it back; no flash is changed.
  - The task is changed exactly when a drive completed (in check mode, when a drive passed its
    rehearsal, so would complete), and failed when a drive that was to be flashed was not.
    Drives the utility leaves alone (up to date, another model) are neither.
  - Each drive is named by its node and by its C(device_id), which stays the same when the
    node is renumbered; both and the serial come from C(--list --json) when the run's events do
    not carry them.
  - With C(--diff) each drive's revision before and after is shown.
version_added: "1.0.4"
author: flashutil developers (@flashutil)
options:
  utility:
    description: Path of the flash utility on the host. Exactly one of C(utility) and C(catalogue) is given.
    type: path
  catalogue:
    description:
      - Path of a folder of flash utilities on the host. Each drive is flashed with the one that
        fits it (its model and revision range, the highest new revision above the drive's); a
        drive two different utilities of the same revision fit is left alone and fails the task.
      - Needs C(program), which reads the folder as data.
    type: path
  program:
    description:
      - Path of the installed flashutil on the host. When given, it flashes the utility as data
        (C(flashutil --cli ... -- FILE)), so the utility is never run, and its seal and signature
        are judged by the installed program under the host's policy. Empty runs the utility
        itself; a C(catalogue) needs it.
    type: path
    default: ""
  options:
    description:
      - More options for the utility, such as C(--device /dev/sg3).
      - The options that choose the drives (C(--device), C(--virtual-drive)) are also given to
        the drive list.
    type: list
    elements: str
    default: []
attributes:
  check_mode:
    support: full
    description: A rehearsal, C(--no-commit).
  diff_mode:
    support: full
    description: Each drive's revision before and after.
notes:
  - A run may take minutes (each commit up to 180 s); run the task asynchronously with an
    C(async) well above the longest run, as the role C(flashutil.drives.flashutil) does.
seealso:
  - module: flashutil.drives.flashutil_facts
"""

EXAMPLES = r"""
- name: Flash every qualifying drive with the utility handed to the installed program as data
  flashutil.drives.flashutil_flash:
    utility: /root/QF10.EXE
    program: /usr/bin/flashutil
  async: 1800
  poll: 15
  register: flash

- name: Flash every drive with the utility of the folder that fits it
  flashutil.drives.flashutil_flash:
    catalogue: /var/lib/flashutil/catalogue
    program: /usr/bin/flashutil
  async: 1800
  poll: 15

- name: Rehearse on one drive only, running the utility itself
  flashutil.drives.flashutil_flash:
    utility: /root/QF10.EXE
    options: [--device, /dev/sg3]
  check_mode: true
"""

RETURN = r"""
exit_code:
  description: The utility's exit status (10 when there was nothing to do).
  returned: always
  type: int
  sample: 0
drives:
  description: Each drive the run looked at, in its order.
  returned: always
  type: list
  elements: dict
  contains:
    device:
      description: The node commands went through (C(/dev/sg1), or C(virtual:N)); a restart
        may renumber it.
      type: str
    device_id:
      description: The drive's stable id (SHA-256 of where it is plugged in); null when unknown.
      type: str
    serial:
      description: The drive's serial number; null when unknown.
      type: str
    identity:
      description: The drive's identity line (address, INQUIRY vendor and product, revision).
      type: str
    revision_before:
      description: The revision the drive reported before the run.
      type: str
    revision_after:
      description: The revision the drive reported after the run; null when unknown.
      type: str
    outcome:
      description: How the drive ended (completed, rehearsed, skipped, left_out, failed_before_commit, commit_failed, ...).
      type: str
    cause:
      description: Why the drive was not flashed, or why a completed flash is not confirmed; "" when there is none.
      type: str
    utility:
      description: The utility the drive was given; null for a drive left alone.
      type: dict
      contains:
        file:
          description: Its path on the host.
          type: str
        file_sha256:
          description: The SHA-256 of the file.
          type: str
        maker:
          description: The name of the utility's maker.
          type: str
        new_revision:
          description: The revision it installs.
          type: str
        signature:
          description: Its signature as the host's policy judged it; C(verdict), C(signer) and C(fingerprint),
            the last two null when there is none.
          type: dict
  sample:
    - device: /dev/sg1
      device_id: 5c0d9e0f3b8a7c1e2d4f6a8b0c2e4f6a8b0c2e4f6a8b0c2e4f6a8b0c2e4f6a8b
      serial: "8A41C0012"
      identity: "1-0-0 V: ACME    CD-RW RW5200    1.00"
      revision_before: "1.00"
      revision_after: QF10
      outcome: completed
      cause: ""
      utility:
        file: /var/lib/flashutil/catalogue/QF10.EXE
        file_sha256: 9f2c4e1a7b3d5f60818a2b3c4d5e6f708192a3b4c5d6e7f8091a2b3c4d5e6f70
        maker: ACME
        new_revision: QF10
        signature: {verdict: unsigned, signer: null, fingerprint: null}
completed:
  description: The devices flashed to the new revision.
  returned: always
  type: list
  elements: str
rehearsed:
  description: The devices that passed the rehearsal (check mode).
  returned: always
  type: list
  elements: str
left_alone:
  description: Each device the utility left alone, with the reason (already up to date, another model).
  returned: always
  type: list
  elements: str
  sample: ["/dev/sg2: already at FW:QF10, not below FW:QF10"]
failures:
  description: Each drive that was to be flashed and did not complete (an ambiguous one of a catalogue too); a
    device of "" for the whole run.
  returned: always
  type: list
  elements: dict
  contains:
    device:
      description: The drive's node.
      type: str
    device_id:
      description: The drive's stable id; null when unknown.
      type: str
    cause:
      description: Why it did not complete.
      type: str
report:
  description: One line per drive, for people.
  returned: always
  type: list
  elements: str
restart_needed:
  description: Whether a drive completed, so that the host must restart for its new firmware.
  returned: always
  type: bool
cmd:
  description: The command that was run.
  returned: always
  type: list
  elements: str
"""

import json

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.flashutil.drives.plugins.module_utils.flashutil import (
    command, drive_options, last_error, list_drives, utility_of)

NOTHING_TO_DO = 10
# Outcomes in which a drive was not to be flashed, or was: not a failure.
LEFT_ALONE = ("skipped",)
GOOD = ("completed", "rehearsed") + LEFT_ALONE


def read_stream(stdout):
    """The events of the stream; a line that is no JSON object is not one of them."""
    events = []
    for line in stdout.splitlines():
        try:
            event = json.loads(line)
        except ValueError:
            continue
        if isinstance(event, dict) and "event" in event:
            events.append(event)
    return events


def run_utilities(events):
    """The utility each drive of the run was to be flashed with, by node: a folder's run names
    it per drive, a single utility's run once for all."""
    started = ([e for e in events if e["event"] == "run_started"] or [{}])[-1]
    chosen = {}
    for drive in started.get("drives") or []:
        if isinstance(drive, dict) and drive.get("flash"):
            chosen[drive.get("device")] = utility_of(drive.get("utility", started.get("utility")))
    return chosen


def drives_of(summary, events, listed):
    """Each drive of the summary with its stable id and serial, from its drive_finished event
    when that carries them, else from the drive list, by node; and the utility it got."""
    finished = dict((e.get("device"), e) for e in events if e["event"] == "drive_finished")
    by_node = dict((d.get("device"), d) for d in listed)
    chosen = run_utilities(events)
    drives = []
    for entry in summary.get("drives", []):
        device = entry.get("device", "")
        known = [finished.get(device, {}), entry, by_node.get(device, {})]
        pick = lambda key: next((k[key] for k in known if k.get(key) is not None), None)
        utility = utility_of(entry["utility"]) if "utility" in entry else chosen.get(device)
        drives.append({
            "device": device,
            "device_id": pick("device_id"),
            "serial": pick("serial"),
            "identity": entry.get("identity", ""),
            "revision_before": entry.get("revision_before", ""),
            "revision_after": entry.get("revision_after"),
            "outcome": entry.get("outcome", ""),
            "cause": entry.get("cause") or "",
            "utility": utility,
        })
    return drives


def report_line(drive, by_catalogue):
    outcome, cause = drive["outcome"], drive["cause"]
    if outcome in LEFT_ALONE or outcome == "left_out":
        return "%s  %s  %s" % (drive["device"], drive["revision_before"], outcome + (": " + cause if cause else ""))
    if outcome == "ambiguous":  # its cause starts with the word, and nothing was sent
        return "%s  %s  %s" % (drive["device"], drive["revision_before"], cause or outcome)
    change = "%s -> %s" % (drive["revision_before"], drive["revision_after"] or "?")
    utility = drive["utility"] or {}
    with_file = "  with %s" % utility["file"].rsplit("/", 1)[-1] if by_catalogue and utility.get("file") else ""
    # A failed drive's cause starts with its outcome in words.
    return "%s  %s  %s%s" % (drive["device"], change, outcome if outcome in GOOD else cause or outcome, with_file)


def diff_of(drives, new_revision):
    """Each drive's revision before and after, one line each: in check mode a drive that passed
    its rehearsal shows the revision the real run would install."""
    name = lambda d: d["device"] + (" (%s)" % d["device_id"][:16] if d["device_id"] else "")
    installs = lambda d: (d["utility"] or {}).get("new_revision") or new_revision
    after = lambda d: installs(d) if d["outcome"] == "rehearsed" and installs(d) else (
        d["revision_after"] or (d["revision_before"] if d["outcome"] in LEFT_ALONE + ("ambiguous",) else "unknown"))
    return {
        "before_header": "drive revisions before the run",
        "after_header": "drive revisions after the run",
        "before": "".join("%s %s\n" % (name(d), d["revision_before"]) for d in drives),
        "after": "".join("%s %s\n" % (name(d), after(d)) for d in drives),
    }


def result_of(drives, rc, stderr, by_catalogue):
    devices = lambda outcome: [d["device"] for d in drives if d["outcome"] == outcome]
    failures = [{"device": d["device"], "device_id": d["device_id"], "cause": d["cause"] or d["outcome"]}
                for d in drives if d["outcome"] not in GOOD]
    # A run that ended before any drive could fail (no drive found, none qualifies) still fails.
    if rc not in (0, NOTHING_TO_DO) and not failures:
        failures = [{"device": "", "device_id": None,
                     "cause": last_error(stderr) or "the flash utility exited with status %d" % rc}]
    return {
        "exit_code": rc,
        "drives": drives,
        "completed": devices("completed"),
        "rehearsed": devices("rehearsed"),
        "left_alone": ["%s: %s" % (d["device"], d["cause"]) for d in drives if d["outcome"] in LEFT_ALONE],
        "failures": failures,
        "report": [report_line(d, by_catalogue) for d in drives],
        "restart_needed": bool(devices("completed")),
    }


def main():
    module = AnsibleModule(
        argument_spec={
            "utility": {"type": "path"},
            "catalogue": {"type": "path"},
            "options": {"type": "list", "elements": "str", "default": []},
            "program": {"type": "path", "default": ""},
        },
        mutually_exclusive=[("utility", "catalogue")],
        required_one_of=[("utility", "catalogue")],
        supports_check_mode=True,
    )
    program, options = module.params["program"], module.params["options"]
    utility, catalogue = module.params["utility"] or "", module.params["catalogue"] or ""
    if catalogue and not program:
        module.fail_json(msg="catalogue %s: the installed flashutil (program) reads the folder; none is given" % catalogue)
    # The list first, while the nodes are those the run will use; it sends only the identification.
    listed = list_drives(module, program or utility, drive_options(options), catalogue)[0]
    mode = ["--cli", "--all", "--yes", "--json=compact"] + (["--no-commit"] if module.check_mode else [])
    argv = command(program, utility or catalogue, mode, options)
    rc, stdout, stderr = module.run_command(argv)
    events = read_stream(stdout)
    summaries = [e for e in events if e["event"] == "summary"]
    if not summaries:
        module.fail_json(msg="%s gave no result (exit status %d): %s" % (argv[0], rc, last_error(stderr) or stderr.strip()),
                         exit_code=rc, stderr=stderr, cmd=argv)
    drives = drives_of(summaries[-1], events, listed)
    result = result_of(drives, rc, stderr, bool(catalogue))
    # In check mode a drive that passed its rehearsal is one the real run would change.
    changed = bool(result["completed"]) or (module.check_mode and bool(result["rehearsed"]))
    if module._diff:
        started = [e for e in events if e["event"] == "run_started"]
        new_revision = (started[-1].get("utility") or {}).get("new_revision") if started else None
        result["diff"] = diff_of(drives, new_revision)
    if result["failures"]:
        module.fail_json(msg="; ".join((f["device"] + ": " if f["device"] else "") + f["cause"] for f in result["failures"]),
                         changed=changed, cmd=argv, **result)
    module.exit_json(changed=changed, cmd=argv, **result)


if __name__ == "__main__":
    main()
