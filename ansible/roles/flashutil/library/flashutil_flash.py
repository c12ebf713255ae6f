#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
# Runs a flash utility on every qualifying optical drive of the host and turns its JSON stream
# into a result Ansible can act on. Parsing the stream here keeps the role's YAML plain.

DOCUMENTATION = r"""
module: flashutil_flash
short_description: Flash every qualifying optical drive of a host with a flashutil flash utility
description:
  - Runs the installed flashutil on the utility (or, without one, the utility itself) with
    C(--cli --all --yes --json=compact) and reads how each drive ended.
  - In check mode the run is a rehearsal (C(--no-commit)): every drive takes the image and gives
    it back, and no flash is changed.
  - The module itself fails only when the utility gave no result; drives that did not complete
    are listed in C(failures) so that the play can restart the host for those that did first.
options:
  utility:
    description: Path of the flash utility on the host.
    type: path
    required: true
  program:
    description:
      - Path of the installed flashutil on the host. When given, it flashes the utility as data
        (C(flashutil --cli ... FILE)): the utility is never run, and its seal and signature are
        judged by the installed program under the host's policy. Empty runs the utility itself.
    type: path
    default: ""
  options:
    description: More options for the utility, such as C(--device /dev/sg3).
    type: list
    elements: str
    default: []
"""

RETURN = r"""
exit_code: {description: The utility's exit status (10 when there was nothing to do), type: int}
drives: {description: Each drive as the utility's summary lists it, type: list}
completed: {description: Devices flashed to the new revision, type: list}
rehearsed: {description: Devices that passed the rehearsal (check mode), type: list}
skipped: {description: Each device left alone, with the reason, type: list}
failures: {description: Each drive that did not complete (device, cause); a device of "" for the whole run, type: list}
report: {description: One line per drive, for people, type: list}
restart_needed: {description: Whether a drive completed and the host must restart, type: bool}
"""

import json

from ansible.module_utils.basic import AnsibleModule

NOTHING_TO_DO = 10
# Outcomes that are not a failure of the drive.
GOOD = ("completed", "rehearsed", "skipped")


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


def last_error(stderr):
    """The utility's last error line, which names the device or file and the cause."""
    lines = [line for line in stderr.splitlines() if line.startswith("flashutil: ")]
    return lines[-1][len("flashutil: "):] if lines else ""


def result_of(summary, rc, stderr):
    drives = summary.get("drives", [])
    devices = lambda outcome: [d["device"] for d in drives if d.get("outcome") == outcome]
    failures = [{"device": d["device"], "cause": d.get("cause") or d.get("outcome")}
                for d in drives if d.get("outcome") not in GOOD]
    # A run that ended before any drive could fail (no drive found, none qualifies) still fails.
    if rc not in (0, NOTHING_TO_DO) and not failures:
        failures = [{"device": "", "cause": last_error(stderr) or "the flash utility exited with status %d" % rc}]
    report = []
    for d in drives:
        before, after = d.get("revision_before", ""), d.get("revision_after", "")
        change = "%s -> %s" % (before, after or "?") if d.get("outcome") not in ("skipped", "left_out") else before
        # A failed drive's cause starts with its outcome in words; a skipped one's is the reason.
        how = d.get("outcome") if d.get("outcome") in GOOD else d.get("cause") or d.get("outcome")
        report.append("%s  %s  %s" % (d["device"], change, how) + (": " + d["cause"] if d.get("outcome") == "skipped" else ""))
    return {
        "exit_code": rc,
        "drives": drives,
        "completed": devices("completed"),
        "rehearsed": devices("rehearsed"),
        "skipped": ["%s: %s" % (d["device"], d.get("cause", "")) for d in drives if d.get("outcome") == "skipped"],
        "failures": failures,
        "report": report,
        "restart_needed": bool(devices("completed")),
    }


def main():
    module = AnsibleModule(
        argument_spec={
            "utility": {"type": "path", "required": True},
            "options": {"type": "list", "elements": "str", "default": []},
            "program": {"type": "path", "default": ""},
        },
        supports_check_mode=True,
    )
    program, utility = module.params["program"], module.params["utility"]
    argv = [program or utility, "--cli", "--all", "--yes", "--json=compact"]
    if module.check_mode:
        argv.append("--no-commit")
    argv += module.params["options"]
    if program:
        argv += ["--", utility]  # the utility as data, whatever its name
    rc, stdout, stderr = module.run_command(argv)
    summaries = [e for e in read_stream(stdout) if e["event"] == "summary"]
    if not summaries:
        module.fail_json(msg="%s gave no result (exit status %d): %s" % (argv[0], rc, last_error(stderr) or stderr.strip()),
                         rc=rc, stderr=stderr, cmd=argv)
    result = result_of(summaries[-1], rc, stderr)
    # In check mode a drive that passed its rehearsal is one the real run would change.
    changed = bool(result["completed"]) or (module.check_mode and bool(result["rehearsed"]))
    module.exit_json(changed=changed, cmd=argv, **result)


if __name__ == "__main__":
    main()
