# SPDX-License-Identifier: Apache-2.0
# Complete flashes through the real kernel path (busybox sh, sourced by guest-checks.sh after
# guest-lib.sh): the drive is the virtual drive's model served by the kernel's SCSI target
# (scripts/kernel-test/kernel-drive.sh, tcmu-drive), so every command goes through SG_IO, the
# sg driver, the SCSI midlayer and the loopback fabric to a drive that takes the firmware.
# Each run is checked against the drive's own record: every command the program sent reached
# the drive in its order, length, direction and data; the drive's memory and flash against
# the image; the commits counted.
. /payload/kernel-drive.sh

KD_IDENTITY="inquiry=SGIOTESTOPTICALTESTDRIVE,rev=1.00"
PLAIN_IMAGE=/payload/1.01.BIN
MAKER_PROFILES=/payload/maker.prf

# What the drive's record says at its end ("end KEY VALUE").
kd_end() { sed -n "s/^end $2 //p" "/tmp/$1.record"; }
# The number of the model's first command whose CDB matches PATTERN (sed), empty when none.
kd_number() { awk -v pattern="$2" '$1 == "model" && $3 ~ pattern { print $2; exit }' "/tmp/$1.record"; }

# Empty when the drive got every command of the trace that reached it (a command the kernel
# failed because the node had gone did not), in the same order, with the CDB as sent (the
# target passes it in its group's length: the bytes it leaves off must be zero), the same
# length, direction and data sent; else what differs.
kd_compare() { # kd_compare RECORD TRACE
    awk '
        FILENAME == ARGV[1] {
            if ($1 == "model") {
                n++; cdb[n] = $3; len[n] = $4; dir[n] = $5; sha[n] = ""
                for (i = 8; i <= NF; i++) if ($i ~ /^sha256=/) sha[n] = substr($i, 8)
            }
            next
        }
        bad || !/"cdb"/ { next }
        {
            e = 0
            if (match($0, /"system_error": [0-9]+/)) e = substr($0, RSTART + 16, RLENGTH - 16)
            if (e == 19 || e == 6) next
            match($0, /"cdb": "[0-9a-f]*"/); c = substr($0, RSTART + 8, RLENGTH - 9)
            match($0, /"dir": "[a-z]*"/); d = substr($0, RSTART + 8, RLENGTH - 9)
            match($0, /"len": [0-9]+/); l = substr($0, RSTART + 7, RLENGTH - 7)
            s = ""
            if (match($0, /"sha256": "[0-9a-f]*"/)) s = substr($0, RSTART + 11, RLENGTH - 12)
            m++
            if (m > n) { print "command " m " of the trace (" c ") never reached the drive"; bad = 1; next }
            head = substr(c, 1, length(cdb[m])); rest = substr(c, length(cdb[m]) + 1)
            if (head != cdb[m] || rest !~ /^0*$/) { print "command " m ": sent " c ", the drive got " cdb[m]; bad = 1; next }
            if (l != len[m] || d != dir[m]) { print "command " m " (" c "): sent " d " " l ", the drive got " dir[m] " " len[m]; bad = 1; next }
            if (s != "" && s != sha[m]) { print "command " m " (" c "): the drive got other data than was sent"; bad = 1; next }
        }
        END { if (!bad && m != n) print "the drive got " n " commands, the trace holds " m " that reached it" }
    ' "$1" "$2"
}

# The drive's record in the log: how many of each command, and its end.
kd_show() { # kd_show NAME
    awk '$1 == "model" { print "model", $3, $4, $5, $6, $7 } $1 == "kernel" { print "kernel", $3, $6, $7 }' "/tmp/$1.record" |
        uniq -c | sed 's/^ */    drive: /'
    grep -v '^model \|^kernel ' "/tmp/$1.record" | sed 's/^/    drive: /'
}

# Problems of a run against what its drive recorded: the exit code, the commands compared
# with the trace, the commits counted, the memory against the image.
kd_problems() { # kd_problems NAME WANT-RC COMMITS MEMORY
    [ "$rc" = "$2" ] || echo "exit code $rc, expected $2"
    [ -n "$(kd_end "$1" commands)" ] || echo "the drive's record has no end"
    kd_compare "/tmp/$1.record" "/tmp/$1.trace"
    [ "$(kd_end "$1" commits)" = "$3" ] || echo "the drive counted $(kd_end "$1" commits) commits, expected $3"
    [ "$(kd_end "$1" memory)" = "$4" ] || echo "the drive's memory against the image: $(kd_end "$1" memory), expected $4"
}
kd_verdict() { # kd_verdict NAME DESCRIPTION PROBLEMS
    record "$1"
    kd_show "$1"
    local problem
    problem=$(echo "$3" | grep . | head -n 1)
    if [ -z "$problem" ]; then pass "$2"; else fail "$2" "$problem"; fi
}

# A drive with the model OPTIONS (handler arguments in $KD_ARGS), a run of the COMMAND on its
# node with a recording, the drive taken down. Sets $rc; /tmp/NAME.txt, .trace and .record.
kd_flash() { # kd_flash NAME OPTIONS COMMAND...
    local drive=$1 options=$2
    shift 2
    rc=255
    # shellcheck disable=SC2086
    if ! kd_create "$drive" "$options" $KD_ARGS; then
        echo "kernel drive $drive not set up" > "/tmp/$drive.txt"
        : > "/tmp/$drive.trace"
        cp "$(kd_record "$drive")" "/tmp/$drive.record" 2>/dev/null || : > "/tmp/$drive.record"
        return 1
    fi
    run "$drive" "$@" --device "$KD_NODE" --trace "/tmp/$drive.trace" --trace-data
    local code=$rc
    kd_remove "$drive"
    cp "$(kd_record "$drive")" "/tmp/$drive.record"
    rc=$code
}
# The same run started in the background, with a history of its own; kd_collect waits for it.
kd_start() { # kd_start NAME OPTIONS COMMAND...
    local drive=$1 options=$2
    shift 2
    # shellcheck disable=SC2086
    kd_create "$drive" "$options" $KD_ARGS || { echo "kernel drive $drive not set up"; return 1; }
    FLASHUTIL_HISTORY=/tmp/$drive.history "$@" --device "$KD_NODE" --trace "/tmp/$drive.trace" --trace-data \
        > "/tmp/$drive.txt" 2>&1 < /dev/null &
    echo $! > "/tmp/$drive.pid"
}
kd_collect() { # kd_collect NAME: sets $rc
    wait "$(cat "/tmp/$1.pid")"
    rc=$?
    local code=$rc
    kd_remove "$1"
    cp "$(kd_record "$1")" "/tmp/$1.record"
    rc=$code
}

echo "== [$(cut -d" " -f1 /proc/uptime)s] drives served by the kernel's SCSI target"
rmmod scsi_debug 2>/dev/null
if ! kd_modules; then
    fail "kernel drive" "the target modules did not load"
    return 0 2>/dev/null || exit 1
fi

# The plain image: uploaded, read back, committed once; the drive's memory and flash hold it.
KD_ARGS="--image $PLAIN_IMAGE"
kd_flash drive-flash "$KD_IDENTITY" "$bin/1.01.EXE" --cli --yes
problems=$(kd_problems drive-flash 0 1 equal)
has drive-flash "Flash Completed." || problems="no 'Flash Completed.' $problems"
[ "$(kd_end drive-flash flash)" = equal ] || problems="${problems:-the drive's flash does not hold the image}"
[ "$(kd_end drive-flash revision)" = 1.01 ] || problems="${problems:-the drive reports $(kd_end drive-flash revision)}"
[ "$(kd_end drive-flash last-commit)" = 80 ] || problems="${problems:-the commit was not 0x80}"
kd_verdict drive-flash "kernel drive: a plain image flashed through sg, the drive holds it, one commit" "$problems"
recording drive-flash $rc
# Where the steps are in the drive's count (the same on the in-memory virtual drive).
UPLOAD=$(kd_number drive-flash '^3b050100000000400000$')
UPLOAD2=$((UPLOAD + 1))
READBACK=$(kd_number drive-flash '^3c0101')
COMMIT=$(kd_number drive-flash '^3b050100000000000080$')
echo "    drive: the upload starts at command $UPLOAD, the read-back at $READBACK, the commit is $COMMIT"

# A tower: four kernel drives flashed at once by one run, each with a commit of its own length.
echo "== [$(cut -d" " -f1 /proc/uptime)s] a tower of four kernel drives, --cli --all --json"
tower_ok=1
for i in 0 1 2 3; do
    kd_create tower$i "$KD_IDENTITY,commit-ms=$((i * 1500))" --image $PLAIN_IMAGE || tower_ok=0
done
if [ $tower_ok = 1 ]; then
    run tower "$bin/1.01.EXE" --cli --all --yes --json
    code=$rc
    for i in 0 1 2 3; do
        kd_remove tower$i
        cp "$(kd_record tower$i)" /tmp/tower$i.record
    done
    rc=$code
    problems=""
    [ $rc -eq 0 ] || problems="exit code $rc, expected 0"
    for i in 0 1 2 3; do
        [ "$(kd_end tower$i commits)" = 1 ] || problems="${problems:-drive $i counted $(kd_end tower$i commits) commits}"
        [ "$(kd_end tower$i memory)" = equal ] || problems="${problems:-drive $i: memory $(kd_end tower$i memory)}"
        [ "$(kd_end tower$i flash)" = equal ] || problems="${problems:-drive $i: flash $(kd_end tower$i flash)}"
    done
    [ "$(grep -c '"outcome": *"completed"' /tmp/tower.txt)" -ge 4 ] || problems="${problems:-not four drives completed in the JSON}"
    record tower
    for i in 0 1 2 3; do kd_show tower$i | grep '^    drive: end commits'; done
    verdict "kernel drives: a tower of four flashed with --all --json, each committed once" "$problems"
else
    fail "kernel drives: a tower of four" "not every drive was set up"
fi

# Runs that take long go on in the background while the others run, each on a drive of its own:
# a commit of 40 s (nothing aborts it), a command before the commit that never answers (the
# kernel gives up on it at the program's 60 s), a commit longer than its 180 s.
echo "== [$(cut -d" " -f1 /proc/uptime)s] long runs started: a 40 s commit, a silent read-back, a 200 s commit"
KD_ARGS="--image $PLAIN_IMAGE"
kd_start drive-commit40 "$KD_IDENTITY,commit-ms=40000" "$bin/1.01.EXE" --cli --yes
kd_start drive-silent "$KD_IDENTITY,timeout=$READBACK" "$bin/1.01.EXE" --cli --yes
kd_start drive-commit200 "$KD_IDENTITY,commit-ms=200000" "$bin/1.01.EXE" --cli --yes

# A profile image and a DVD image with the maker's profiles embedded: the drive holds the
# image, and the profile it got carries a blob of the maker's file (never a stand-in).
echo "== [$(cut -d" " -f1 /proc/uptime)s] profile and DVD images with the maker's profiles"
KD_ARGS="--image /payload/1.03.BIN --profiles $MAKER_PROFILES"
kd_flash drive-profile "$KD_IDENTITY,newrev=1.03" "$bin/1.03.EXE" --cli --yes
problems=$(kd_problems drive-profile 0 1 equal)
has drive-profile "Flash Completed." || problems="no 'Flash Completed.' $problems"
has drive-profile "built without them" && problems="refused as built without the maker's profiles $problems"
case "$(kd_end drive-profile profile)" in "maker at "*) ;; *) problems="${problems:-the profile uploaded: $(kd_end drive-profile profile)}" ;; esac
[ "$(kd_end drive-profile entry-critical)" = 1 ] || problems="${problems:-entry critical $(kd_end drive-profile entry-critical) times}"
kd_verdict drive-profile "kernel drive: a profile image with the maker's profiles flashed, the maker's blob uploaded" "$problems"
recording drive-profile $rc

# A failure at each step of the profile kind, on a utility built with the maker's profiles: at
# the flash chip's identity and at the profile upload nothing reaches the memory; at entry
# critical the image is in it, but nothing is read back or committed.
FLASHID=$(kd_number drive-profile '^df1100')
PROFILE=$(kd_number drive-profile '^3b050108')
ENTRY=$(kd_number drive-profile '^3b05010000000000007f$')
echo "    drive: the flash ID is command $FLASHID, the profile upload $PROFILE, entry critical $ENTRY"
for case in "flash ID|$FLASHID|differs at 0x0|Read Flash ID> 03 0C 00|profile_upload|none" \
    "profile upload|$PROFILE|differs at 0x0|Write Profile> 03 0C 00|profile_upload|none" \
    "entry critical|$ENTRY|equal|Entry critical> 03 0C 00|entry_critical|maker at *"; do
    IFS='|' read -r step number memory words key profile <<CASE
$case
CASE
    drive=drive-profile-fail-$(echo "$step" | tr ' ' - | tr 'A-Z' 'a-z')
    if [ -z "$number" ]; then
        fail "kernel drive: a failure at the $step of a profile image" "the profile flash has no such command"
        continue
    fi
    kd_flash "$drive" "$KD_IDENTITY,newrev=1.03,fail=$number:03/0C/00" "$bin/1.03.EXE" --cli --yes
    problems=$(kd_problems "$drive" 6 0 "$memory")
    has "$drive" "$words" || problems="${problems:-no '$words'}"
    has "$drive" "Flash Completed." && problems="${problems:-'Flash Completed.'}"
    grep -q '^model [0-9]* 3c' "/tmp/$drive.record" && problems="${problems:-a READ BUFFER reached the drive}"
    [ "$(kd_end "$drive" entry-critical)" = 0 ] || problems="${problems:-entry critical carried out $(kd_end "$drive" entry-critical) times}"
    # shellcheck disable=SC2254
    case "$(kd_end "$drive" profile)" in $profile) ;; *) problems="${problems:-the profile the drive holds: $(kd_end "$drive" profile)}" ;; esac
    last_end | grep -q "\"step\": *\"$key\"" || problems="${problems:-history: not ended in $key: $(last_end)}"
    kd_verdict "$drive" "kernel drive: a failure at the $step (fail=$number) of a profile image with the maker's profiles ends the run with exit 6, nothing committed" "$problems"
done

KD_ARGS="--image /payload/1.04.BIN --profiles $MAKER_PROFILES"
kd_flash drive-dvd "$KD_IDENTITY,newrev=1.04" "$bin/1.04.EXE" --cli --yes
problems=$(kd_problems drive-dvd 0 1 equal)
has drive-dvd "Flash Completed." || problems="no 'Flash Completed.' $problems"
has drive-dvd "built without them" && problems="refused as built without the maker's profiles $problems"
case "$(kd_end drive-dvd profile)" in "maker at "*) ;; *) problems="${problems:-the profile uploaded: $(kd_end drive-dvd profile)}" ;; esac
kd_verdict drive-dvd "kernel drive: a DVD image with the maker's profiles flashed, the maker's blob uploaded" "$problems"

# FLASH-ALL: a utility whose Note says so commits with the code 0xA0, once.
KD_ARGS="--image $PLAIN_IMAGE"
kd_flash drive-flash-all "$KD_IDENTITY" "$bin/all-1.01.EXE" --cli --yes
problems=$(kd_problems drive-flash-all 0 1 equal)
has drive-flash-all "Flash Completed." || problems="no 'Flash Completed.' $problems"
[ "$(kd_end drive-flash-all last-commit)" = a0 ] || problems="${problems:-the commit was $(kd_end drive-flash-all last-commit), not 0xa0}"
grep -q '^model [0-9]* 3b050100000000000080 ' /tmp/drive-flash-all.record && problems="${problems:-a commit 0x80 reached the drive}"
[ "$(kd_end drive-flash-all flash)" = equal ] || problems="${problems:-the drive's flash does not hold the image}"
[ "$(kd_end drive-flash-all revision)" = 1.01 ] || problems="${problems:-the drive reports $(kd_end drive-flash-all revision)}"
kd_verdict drive-flash-all "kernel drive: a FLASH-ALL utility commits with 0xA0 once, the drive holds the image" "$problems"

# The rehearsal: everything but the commit.
KD_ARGS="--image $PLAIN_IMAGE"
kd_flash drive-rehearsal "$KD_IDENTITY" "$bin/1.01.EXE" --cli --yes --no-commit
problems=$(kd_problems drive-rehearsal 0 0 equal)
grep -q '^model [0-9]* 3b0501000000000000[8a]0 ' /tmp/drive-rehearsal.record && problems="${problems:-a commit reached the drive}"
[ "$(kd_end drive-rehearsal revision)" = 1.00 ] || problems="${problems:-the drive reports $(kd_end drive-rehearsal revision)}"
kd_verdict drive-rehearsal "kernel drive: the rehearsal uploads and reads back, the commit never reaches the drive" "$problems"

# A failure at each step, from the drive model's faults: the run ends there, nothing committed.
echo "== [$(cut -d" " -f1 /proc/uptime)s] a failure at each step"
# The memory holds what reached it: an upload failed at its second chunk holds the first only.
for case in "upload|fail=$UPLOAD2:03/0C/00|6|differs at 0x4000" "read-back|fail=$READBACK:03/11/00|6|equal" \
    "corrupted read-back|corrupt=$READBACK|6|equal" "commit|fail=$COMMIT:03/0C/00|7|equal"; do
    IFS='|' read -r step fault code memory <<CASE
$case
CASE
    drive=drive-fail-$(echo "$step" | tr ' ' -)
    kd_flash "$drive" "$KD_IDENTITY,$fault" "$bin/1.01.EXE" --cli --yes
    problems=$(kd_problems "$drive" "$code" 0 "$memory")
    has "$drive" "Flash Completed." && problems="${problems:-'Flash Completed.'}"
    if [ "$code" = 7 ]; then has "$drive" "Flash Fail." || problems="${problems:-no 'Flash Fail.'}"; fi
    [ "$(kd_end "$drive" revision)" = 1.00 ] || problems="${problems:-the drive reports $(kd_end "$drive" revision)}"
    kd_verdict "$drive" "kernel drive: a failure in the $step ($fault) ends the run with exit $code, nothing committed" "$problems"
done

# A drive that answers "becoming ready" for many polls after the load, then takes the image;
# one with a disc in the tray, refused before anything goes to its memory (the sr driver's own
# commands for the disc at the claim are answered beside the model).
kd_flash drive-ready "$KD_IDENTITY,ready=25" "$bin/1.01.EXE" --cli --yes
problems=$(kd_problems drive-ready 0 1 equal)
[ "$(grep -c '^model [0-9]* 000000000000 0 in 02 02/04/01$' /tmp/drive-ready.record)" = 25 ] ||
    problems="${problems:-not 25 polls answered 02/04/01}"
kd_verdict drive-ready "kernel drive: 25 polls of 'becoming ready', then the image flashed, one commit" "$problems"
kd_flash drive-disc "$KD_IDENTITY,disc=1" "$bin/1.01.EXE" --cli --yes
problems=$(kd_problems drive-disc 6 0 "differs at 0x0")
has drive-disc "Remove disc, before to do the flash task." || problems="${problems:-no 'Remove disc'}"
grep -q '^model [0-9]* 3b' /tmp/drive-disc.record && problems="${problems:-WRITE BUFFER reached the drive}"
kd_verdict drive-disc "kernel drive: a disc in the tray stops the run at 'Remove disc', nothing sent to the memory" "$problems"

# The drive pulled out: its LUN removed while the drive holds the model's command HOLD. The
# nodes go at once; the held command gets the drive's answer when it is let go, the next one
# finds the node gone. Each run ends with its exit code and words, a history record of the
# step, no hang.
kd_pulled() { # kd_pulled NAME HOLD WANT-RC COMMITS MEMORY STEP WORDS DESCRIPTION
    local drive=$1 hold=$2 code=$3 commits=$4 memory=$5 step=$6 words=$7 description=$8 node end
    KD_ARGS="--image $PLAIN_IMAGE --hold=$hold"
    if kd_start "$drive" "$KD_IDENTITY" "$bin/1.01.EXE" --cli --yes &&
        kd_wait 600 grep -q "^holding $hold\$" "$(kd_record "$drive")"; then
        node=$KD_NODE
        kd_pull "$drive"
        problems=""
        kd_wait 600 sh -c "! kill -0 $(cat "/tmp/$drive.pid") 2>/dev/null" || problems="the run hung"
        kd_collect "$drive"
        problems="$problems$(kd_problems "$drive" "$code" "$commits" "$memory")"
        has "$drive" "$node" || problems="${problems:-the output does not name $node}"
        has "$drive" "$words" || problems="${problems:-no '$words'}"
        grep -q '"system_error": 19' "/tmp/$drive.trace" || problems="${problems:-no command failed with ENODEV after the pull}"
        end=$(grep '"record": *"end"' "/tmp/$drive.history" | tail -n 1)
        echo "$end" | grep -q "\"step\": *\"$step\"" || problems="${problems:-history: not ended in $step: $end}"
        kd_verdict "$drive" "$description" "$problems"
    else
        fail "$description" "the drive never held command $hold"
        show "$drive"
    fi
}
echo "== [$(cut -d" " -f1 /proc/uptime)s] the LUN removed during the upload, the read-back and the commit"
kd_pulled drive-pulled "$UPLOAD2" 6 0 "differs at 0x8000" image_upload "before the commit" \
    "kernel drive: the LUN removed in the upload ends the run with exit 6, recorded, no hang"
kd_pulled drive-pulled-readback $((READBACK + 1)) 6 0 equal read_back "The commit was not sent" \
    "kernel drive: the LUN removed in the read-back ends the run with exit 6, nothing committed, no hang"
# The held commit gets the drive's answer, which has written its flash; the new revision can no
# longer be read: the run says the update is not confirmed.
kd_pulled drive-pulled-commit "$COMMIT" 0 1 equal restart "its new revision could not be read back" \
    "kernel drive: the LUN removed in the commit: the commit answered, the revision unconfirmed, exit 0, no hang"
[ "$(kd_end drive-pulled-commit flash)" = equal ] || fail "kernel drive: the LUN removed in the commit" \
    "the drive's flash: $(kd_end drive-pulled-commit flash)"

# A tower of three with one pulled out in its upload: the run goes on with the others, which
# complete; the run ends as a partial success. The drives of the long runs are busy meanwhile:
# the run is given its three.
echo "== [$(cut -d" " -f1 /proc/uptime)s] a tower of three kernel drives, one pulled in its upload"
tower_ok=1
tower_devices=""
for i in 0 1 2; do
    hold=""
    [ $i = 1 ] && hold=--hold=$UPLOAD2
    kd_create pulltower$i "$KD_IDENTITY" --image $PLAIN_IMAGE $hold || tower_ok=0
    [ $i = 1 ] && pulled_node=$KD_NODE
    tower_devices="$tower_devices --device $KD_NODE"
done
if [ $tower_ok = 1 ]; then
    # shellcheck disable=SC2086
    "$bin/1.01.EXE" --cli --all --yes --json $tower_devices > /tmp/pulltower.txt 2>&1 < /dev/null &
    tower_pid=$!
    problems=""
    if kd_wait 600 grep -q "^holding $UPLOAD2\$" "$(kd_record pulltower1)"; then
        kd_pull pulltower1
    else
        problems="drive 1 never held its chunk"
    fi
    kd_wait 600 sh -c "! kill -0 $tower_pid 2>/dev/null" || problems="${problems:-the run hung}"
    wait $tower_pid
    code=$?
    for i in 0 1 2; do
        kd_remove pulltower$i
        cp "$(kd_record pulltower$i)" /tmp/pulltower$i.record
    done
    [ $code -eq 9 ] || problems="${problems:-exit code $code, expected 9}"
    for i in 0 2; do
        [ "$(kd_end pulltower$i commits)" = 1 ] || problems="${problems:-drive $i counted $(kd_end pulltower$i commits) commits}"
        [ "$(kd_end pulltower$i flash)" = equal ] || problems="${problems:-drive $i: flash $(kd_end pulltower$i flash)}"
    done
    [ "$(kd_end pulltower1 commits)" = 0 ] || problems="${problems:-the pulled drive counted $(kd_end pulltower1 commits) commits}"
    [ "$(kd_end pulltower1 memory)" = "differs at 0x8000" ] || problems="${problems:-the pulled drive's memory: $(kd_end pulltower1 memory)}"
    [ "$(grep -c '"event": *"drive_finished".*"outcome": *"completed"' /tmp/pulltower.txt)" = 2 ] ||
        problems="${problems:-not two drives completed in the JSON}"
    grep -q "\"event\": *\"drive_finished\", *\"device\": *\"$pulled_node\".*\"outcome\": *\"failed_before_commit\"" /tmp/pulltower.txt ||
        problems="${problems:-the JSON does not say $pulled_node failed before the commit}"
    record pulltower
    for i in 0 1 2; do kd_show pulltower$i | grep '^    drive: end \(commits\|memory\)'; done
    verdict "kernel drives: one of a tower pulled in its upload fails alone, the others complete, exit 9" "$problems"
else
    fail "kernel drives: a tower of three, one pulled" "not every drive was set up"
fi

# A user who may only read and write the drive's two nodes.
echo "== [$(cut -d" " -f1 /proc/uptime)s] a user with access to the nodes only"
KD_ARGS="--image $PLAIN_IMAGE"
if kd_create drive-user "$KD_IDENTITY" $KD_ARGS; then
    chown nobody "$KD_NODE" "$KD_BLOCK"
    run_as_nobody drive-user "$bin/1.01.EXE" --cli --yes --device "$KD_NODE" --trace /tmp/drive-user.trace --trace-data
    code=$rc
    kd_remove drive-user
    cp "$(kd_record drive-user)" /tmp/drive-user.record
    rc=$code
    problems=$(kd_problems drive-user 0 1 equal)
    has drive-user "Flash Completed." || problems="no 'Flash Completed.' $problems"
    kd_verdict drive-user "kernel drive: a user with read-write access to its nodes only flashes it" "$problems"
else
    fail "kernel drive: a user with access to the nodes only" "the drive was not set up"
fi

# A drive replugged: its SCSI device deleted and found again by a rescan of its host, while
# another drive took its node. The node changes; the drive id stays, the same in the list, the
# trace and the history, which finds the runs of both nodes by it.
echo "== [$(cut -d" " -f1 /proc/uptime)s] a drive replugged under another node"
# The value of KEY in a JSON text (the first one).
json_value() { sed -n "s/.*\"$1\": *\"\\([^\"]*\\)\".*/\\1/p" "$2" | head -n 1; }
KD_ARGS="--image $PLAIN_IMAGE"
if kd_create drive-replug "$KD_IDENTITY" $KD_ARGS; then
    problems=""
    first_node=$KD_NODE
    device=$(kd_device drive-replug)
    address=$(basename "$(dirname "$device")")
    FLASHUTIL_HISTORY=/tmp/drive-replug.history "$bin/1.01.EXE" --cli --yes --no-commit --device "$first_node" \
        --trace /tmp/drive-replug-first.trace > /tmp/drive-replug.txt 2>&1 < /dev/null || problems="the first rehearsal failed"
    "$bin/1.01.EXE" --list --json --device "$first_node" > /tmp/drive-replug-first.json 2>&1
    echo 1 > "$device/delete"
    kd_wait 300 sh -c "[ ! -e '$first_node' ]" || problems="${problems:-$first_node stayed after the delete}"
    # Drives plugged in meanwhile take the lowest free node, the replugged one's among them.
    others=""
    for i in 1 2 3; do
        kd_create drive-replug-other$i "$KD_IDENTITY" $KD_ARGS || break
        others="$others drive-replug-other$i"
        [ "$KD_NODE" = "$first_node" ] && break
    done
    echo "- - -" > "/sys/class/scsi_host/host${address%%:*}/scan"
    kd_wait 300 kd_attached drive-replug || problems="${problems:-the drive did not come back after the rescan}"
    second_node=$(kd_node drive-replug)
    [ "$second_node" != "$first_node" ] || problems="${problems:-the drive came back under $first_node: not renumbered}"
    FLASHUTIL_HISTORY=/tmp/drive-replug.history "$bin/1.01.EXE" --cli --yes --no-commit --device "$second_node" \
        --trace /tmp/drive-replug-second.trace >> /tmp/drive-replug.txt 2>&1 < /dev/null || problems="${problems:-the second rehearsal failed}"
    "$bin/1.01.EXE" --list --json --device "$second_node" > /tmp/drive-replug-second.json 2>&1
    id=$(json_value device_id /tmp/drive-replug-first.json)
    echo "$id" | grep -qx '[0-9a-f]\{64\}' || problems="${problems:-no drive id in the list: $(cat /tmp/drive-replug-first.json)}"
    for file in drive-replug-second.json drive-replug-first.trace drive-replug-second.trace; do
        [ "$(json_value device_id "/tmp/$file")" = "$id" ] ||
            problems="${problems:-$file gives the id $(json_value device_id "/tmp/$file"), the list before the replug $id}"
    done
    [ "$(json_value serial /tmp/drive-replug-second.json)" = "$(json_value serial /tmp/drive-replug-first.json)" ] ||
        problems="${problems:-the serial changed with the replug}"
    FLASHUTIL_HISTORY=/tmp/drive-replug.history "$bin/1.01.EXE" --history --device-id "$id" > /tmp/drive-replug-history.txt 2>&1
    [ "$(grep -c ' -> .*rehearsal' /tmp/drive-replug-history.txt)" = 2 ] && grep -q "  $first_node  " /tmp/drive-replug-history.txt &&
        grep -q "  $second_node  " /tmp/drive-replug-history.txt ||
        problems="${problems:-the history of the id does not show both runs, on $first_node and $second_node: $(cat /tmp/drive-replug-history.txt)}"
    for other in $others; do kd_remove "$other"; done
    kd_remove drive-replug
    cp "$(kd_record drive-replug)" /tmp/drive-replug.record
    echo "replugged from $first_node to $second_node, drive id $id" >> /tmp/drive-replug.txt
    kd_verdict drive-replug "kernel drive: replugged under another node, it keeps its drive id in the list, the trace and the history" "$problems"
else
    fail "kernel drive: replugged under another node" "the drive was not set up"
fi

# The long runs.
echo "== [$(cut -d" " -f1 /proc/uptime)s] the long runs"
kd_collect drive-commit40
problems=$(kd_problems drive-commit40 0 1 equal)
has drive-commit40 "Flash Completed." || problems="no 'Flash Completed.' $problems"
[ "$(kd_end drive-commit40 aborted)" = 0 ] || problems="${problems:-the kernel aborted a command}"
kd_verdict drive-commit40 "kernel drive: a commit of 40 s is waited for, nothing aborts it, one commit" "$problems"

kd_collect drive-silent
problems=$(kd_problems drive-silent 6 0 equal)
[ "$(kd_end drive-silent aborted)" = 1 ] || problems="${problems:-the kernel did not abort the silent command}"
grep -q "^model $READBACK .* aborted\$" /tmp/drive-silent.record || problems="${problems:-command $READBACK not aborted}"
grep -q '^model [0-9]* 3b0501000000000000[8a]0 ' /tmp/drive-silent.record && problems="${problems:-a commit reached the drive}"
kd_verdict drive-silent "kernel drive: a read-back that never answers ends at the 60 s timeout, exit 6, nothing committed" "$problems"

kd_collect drive-commit200
# The drive wrote its flash after the kernel had given up on the commit.
problems=$(kd_problems drive-commit200 7 1 equal)
has drive-commit200 "Flash Fail." || problems="no 'Flash Fail.' $problems"
grep -q "^model $COMMIT .* aborted\$" /tmp/drive-commit200.record || problems="${problems:-the kernel did not abort the commit}"
kd_verdict drive-commit200 "kernel drive: a commit longer than its 180 s ends the run with 'Flash Fail.', exit 7" "$problems"
