# SPDX-License-Identifier: Apache-2.0
# What the guest's checks share (busybox sh, sourced): PASS/FAIL lines counted in $failures,
# runs of the program with their output in /tmp/NAME.txt and exit code in $rc, the commands
# of a trace, the runs' history.
bin=/payload/bin
failures=0

pass() { echo "PASS $1"; }
fail() { echo "FAIL $1${2:+: $2}"; failures=$((failures + 1)); }
# Runs a command line as the unprivileged user "nobody", keeping the environment.
as_nobody() { su -p -s /bin/sh nobody -c "$*"; }

# The program itself. Output of each run goes to /tmp/NAME.txt (both streams), its exit
# code to $rc; a failed check shows the output.
run() {
    name=$1
    shift
    "$@" > "/tmp/$name.txt" 2>&1 < /dev/null
    rc=$?
}
run_as_nobody() {
    name=$1
    shift
    as_nobody "$* > /tmp/$name.txt 2>&1 < /dev/null"
    rc=$?
}
has() { grep -qF -- "$2" "/tmp/$1.txt"; }
show() { sed 's/^/    | /' "/tmp/$1.txt"; [ -z "$2" ] || sed 's/^/    > /' "$2"; }
# What a run printed and the commands it sent, for the record in the test log.
record() { # record NAME [SEQUENCE-FILE]
    sed 's/^/    | /' "/tmp/$1.txt"
    [ -z "$2" ] || uniq -c "$2" | sed 's/^ */    > /'
}
# A run's recording (--trace-data), its output and exit code go out on the console between
# markers; the host keeps them (run-kernel-checks.sh) for the replays of the ordinary suite.
recording() { # recording NAME EXIT-CODE
    echo "KTEST-RECORDING $1 $2"
    cat "/tmp/$1.trace"
    echo "KTEST-OUTPUT $1"
    cat "/tmp/$1.txt"
    echo "KTEST-RECORDING-END $1"
}
verdict() { # verdict NAME PROBLEM [TRACE]: PASS when PROBLEM is empty
    if [ -z "$2" ]; then pass "$1"; else fail "$1" "$2"; show "$1" "$3"; fi
}
# The CDBs of a trace, one per line.
cdbs() { sed -n 's/.*"cdb": "\([0-9a-f]*\)".*/\1/p' "$1"; }
# The CDBs with their sense key, ASC and ASCQ (decimal, as the trace writes them; no sense
# is 0,0,0): "cdb k,a,q".
cdbs_and_sense() {
    sed -n -e 's/.*"cdb": "\([0-9a-f]*\)".*"sense": {"key": \([0-9]*\), "asc": \([0-9]*\), "ascq": \([0-9]*\),.*/\1 \2,\3,\4/p' \
        -e 's/.*"cdb": "\([0-9a-f]*\)".*"sense": null.*/\1 0,0,0/p' "$1"
}

# The end record of the last run in the history (one line).
last_end() { grep '"record": *"end"' "$FLASHUTIL_HISTORY" | tail -n 1; }
