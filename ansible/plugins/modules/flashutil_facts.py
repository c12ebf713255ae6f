#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
# Tells what optical drives a host has and what a flash utility, or a folder of them, would do
# to each, from the program's drive list: nothing but the identification is sent, so it is safe in check mode.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: flashutil_facts
short_description: The optical drives of a host, and which of them a flash utility or a folder of them would flash
description:
  - Lists the host's optical drives with C(--list --json) and sets the fact C(flashutil_drives),
    one entry each. Only INQUIRY and the identification are sent to a drive, nothing is written,
    and the task never changes the host, in check mode too.
  - With a C(utility), the utility's own list says whether it would flash each drive and with
    which revision; for this the utility is run with C(--list), so give only a utility you
    would run. Without one, the installed C(program) lists the drives, and C(would_flash) is
    null.
  - With a C(catalogue), a folder of utilities, the installed C(program) reads the folder as
    data (no utility is run) and tells for each drive which utility of it would flash it, or
    why none would.
version_added: "1.0.4"
author: flashutil developers (@flashutil)
options:
  utility:
    description: Path of the flash utility on the host whose verdict on each drive is wanted.
    type: path
    default: ""
  catalogue:
    description: Path of a folder of flash utilities on the host; each drive is told the one that would flash it.
      Not with C(utility).
    type: path
    default: ""
  program:
    description: Path of the installed flashutil on the host, which lists the drives when no utility is given,
      and reads the C(catalogue).
    type: path
    default: /usr/bin/flashutil
  options:
    description: Options that choose the drives, such as C(--device /dev/sg3) or C(--virtual-drive=count=2).
    type: list
    elements: str
    default: []
attributes:
  check_mode:
    support: full
    description: The same list as without check mode; nothing is changed either way.
  diff_mode:
    support: none
    description: Nothing is changed, so there is nothing to compare.
  facts:
    support: full
    description: Sets C(flashutil_drives).
seealso:
  - module: flashutil.drives.flashutil_flash
"""

EXAMPLES = r"""
- name: Ask which drives the utility would flash
  flashutil.drives.flashutil_facts:
    utility: /root/QF10.EXE

- name: Ask which utility of a folder would flash each drive
  flashutil.drives.flashutil_facts:
    catalogue: /var/lib/flashutil/catalogue

- name: Report the drives that would be flashed
  ansible.builtin.debug:
    msg: "{{ flashutil_drives | selectattr('would_flash') | map(attribute='device_id') | list }}"
"""

RETURN = r"""
ansible_facts:
  description: The facts set.
  returned: always
  type: dict
  contains:
    flashutil_drives:
      description: Each optical drive found, in the order found.
      returned: always
      type: list
      elements: dict
      contains:
        device:
          description: The node commands go through (C(/dev/sg1), or C(virtual:N)).
          type: str
        device_id:
          description: The drive's stable id (SHA-256 of where it is plugged in); null when unknown.
          type: str
        serial:
          description: The drive's serial number; null when unknown.
          type: str
        identity:
          description: The drive's identity line.
          type: str
        vendor:
          description: The INQUIRY vendor text.
          type: str
        product:
          description: The INQUIRY product text.
          type: str
        revision:
          description: The firmware revision the drive reports.
          type: str
        virtual:
          description: Whether it is a virtual drive.
          type: bool
        qualifies:
          description: Whether the utility is for this drive and its revision (with a catalogue, whether one of
            the folder would flash it); null without a utility or catalogue.
          type: bool
        would_flash:
          description: Whether a run of the utility would flash it (it qualifies and its revision is below the
            one the utility installs); null without a utility or catalogue.
          type: bool
        new_revision:
          description: The revision the run would install; null without a utility or catalogue.
          type: str
        installs_revision:
          description: The same as C(new_revision), its earlier name, kept until the next release.
          type: str
        why_not:
          description: Why the run would not flash it; null when it would, or without a utility or catalogue.
          type: str
        utility:
          description: With a catalogue, the utility of it that would flash the drive (C(file), C(file_sha256),
            C(maker), C(new_revision), C(signature) with C(verdict), C(signer) and C(fingerprint), the last two
            null when none); null when none would, or without a catalogue.
          type: dict
  sample:
    flashutil_drives:
      - device: /dev/sg1
        device_id: 5c0d9e0f3b8a7c1e2d4f6a8b0c2e4f6a8b0c2e4f6a8b0c2e4f6a8b0c2e4f6a8b
        serial: "8A41C0012"
        identity: "1-0-0 V: ACME    CD-RW RW5200    1.00"
        vendor: ACME
        product: CD-RW RW5200
        revision: "1.00"
        virtual: false
        qualifies: true
        would_flash: true
        new_revision: QF10
        installs_revision: QF10
        why_not: null
        utility: null
cmd:
  description: The command that was run.
  returned: always
  type: list
  elements: str
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.flashutil.drives.plugins.module_utils.flashutil import list_drives, new_revision_of, utility_of

KEYS = ("device", "device_id", "serial", "identity", "vendor", "product", "revision", "virtual")


def fact_of(drive, judged):
    """One drive as the fact gives it; JUDGED: "utility" or "catalogue" when one listed it."""
    fact = dict((key, drive.get(key)) for key in KEYS)
    fact.update(utility=None)
    if not judged:
        fact.update(qualifies=None, would_flash=None, new_revision=None, installs_revision=None, why_not=None)
        return fact
    if judged == "catalogue":
        # The program chose the utility by the rules of a run: a drive it names one for is flashed.
        utility = utility_of(drive.get("utility"))
        new = utility and utility["new_revision"]
        fact.update(qualifies=utility is not None, would_flash=utility is not None, utility=utility,
                    new_revision=new, installs_revision=new,
                    why_not=None if utility else drive.get("not_qualified_because") or "no utility of the folder fits it")
        return fact
    new = new_revision_of(drive)
    qualifies = bool(drive.get("qualifies"))
    # A run flashes a qualifying drive only below the revision it installs (revisions compare
    # byte by byte, as the program compares them).
    below = new is not None and (drive.get("revision") or "") < new
    why = None
    if not qualifies:
        why = drive.get("not_qualified_because") or "does not qualify for this firmware"
    elif not below:
        why = "already at FW:%s, not below FW:%s" % (drive.get("revision"), new)
    fact.update(qualifies=qualifies, would_flash=qualifies and below, new_revision=new, installs_revision=new,
                why_not=why)
    return fact


def main():
    module = AnsibleModule(
        argument_spec={
            "utility": {"type": "path", "default": ""},
            "catalogue": {"type": "path", "default": ""},
            "program": {"type": "path", "default": "/usr/bin/flashutil"},
            "options": {"type": "list", "elements": "str", "default": []},
        },
        mutually_exclusive=[("utility", "catalogue")],
        supports_check_mode=True,
    )
    utility, catalogue = module.params["utility"], module.params["catalogue"]
    if catalogue:
        drives, argv, why = list_drives(module, module.params["program"], module.params["options"], catalogue)
    else:
        drives, argv, why = list_drives(module, utility or module.params["program"], module.params["options"])
    if why:
        module.fail_json(msg="%s: %s" % (argv[0], why), cmd=argv)
    judged = "catalogue" if catalogue else "utility" if utility else ""
    facts = [fact_of(d, judged) for d in drives]
    module.exit_json(changed=False, cmd=argv, ansible_facts={"flashutil_drives": facts})


if __name__ == "__main__":
    main()
