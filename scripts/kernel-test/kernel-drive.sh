# SPDX-License-Identifier: Apache-2.0
# Drives served by the guest's own kernel (busybox sh, sourced in the guest): the SCSI target
# core with its user-space back-end (TCMU) answers through tcmu-drive, the loopback fabric
# (tcm_loop) makes each a local SCSI host with one LUN, and sg and sr attach to it as to any
# CD/DVD drive. Everything is set up and taken down through configfs.
#
#   kd_modules                       loads configfs, the target core, uio, TCMU and tcm_loop
#   kd_create NAME OPTIONS [ARG...]  a drive whose model has the --virtual-drive OPTIONS
#                                    (ARGs go to tcmu-drive: --image, --profiles, --hold=N);
#                                    sets KD_NODE (its /dev/sgN) and KD_BLOCK (its /dev/srN)
#   kd_node NAME, kd_block NAME      its nodes; kd_record NAME: the handler's record
#   kd_pull NAME                     removes its LUN at once, while a command may be held:
#                                    waits until the nodes are gone, then lets the held
#                                    command go on (the kernel ends the removal after it)
#   kd_remove NAME                   takes it down and ends its handler, which writes the
#                                    end of its record
KD_TARGET=/sys/kernel/config/target
KD_STATE=/tmp/kernel-drives
KD_HANDLER=${KD_HANDLER:-/payload/bin/tcmu-drive}
kd_count=0

kd_modules() {
    while read -r module; do
        insmod "/lib/modules/$module" 2>/dev/null || echo "guest: $module not loaded"
    done < /lib/modules/target-load-order
    grep -q ' /sys/kernel/config ' /proc/mounts || mount -t configfs configfs /sys/kernel/config
    [ -d "$KD_TARGET/core" ] && [ -d "$KD_TARGET/loopback" ] || mkdir -p "$KD_TARGET/loopback"
    [ -d "$KD_TARGET/loopback" ]
}

# Waits up to TENTHS tenths of a second for a command to succeed.
kd_wait() { # kd_wait TENTHS COMMAND...
    tries=$1
    shift
    while [ "$tries" -gt 0 ]; do
        "$@" && return 0
        sleep 0.1
        tries=$((tries - 1))
    done
    return 1
}

kd_record() { echo "$KD_STATE/$1/record"; }
kd_node() { cat "$KD_STATE/$1/node" 2>/dev/null; }
kd_block() { cat "$KD_STATE/$1/block" 2>/dev/null; }
kd_loopback() { cat "$KD_STATE/$1/loopback"; }
kd_pid() { cat "$KD_STATE/$1/pid"; }

# The sysfs directory of the LUN's SCSI device, from the loopback target's address
# ("HOST:0:TARGET"); empty while it is not there.
kd_device() {
    address=$(cat "$(kd_loopback "$1")/tpgt_1/address" 2>/dev/null) || return 1
    [ -d "/sys/class/scsi_device/$address:0/device" ] && echo "/sys/class/scsi_device/$address:0/device"
}
kd_attached() { # both nodes are there
    device=$(kd_device "$1") || return 1
    sg=$(ls "$device/scsi_generic" 2>/dev/null) && block=$(ls "$device/block" 2>/dev/null) || return 1
    [ -e "/dev/$sg" ] && [ -e "/dev/$block" ] || return 1
    echo "/dev/$sg" > "$KD_STATE/$1/node"
    echo "/dev/$block" > "$KD_STATE/$1/block"
}
kd_gone() { [ -z "$(kd_device "$1")" ]; }

kd_create() { # kd_create NAME OPTIONS [TCMU-DRIVE-ARG...]
    name=$1 options=$2
    shift 2
    state=$KD_STATE/$name
    rm -rf "$state"
    mkdir -p "$state"
    kd_count=$((kd_count + 1))
    core=$KD_TARGET/core/user_0/$name
    mkdir -p "$core" || return 1
    echo "$core" > "$state/core"
    echo "dev_config=flashutil/$name" > "$core/control" &&
        echo "dev_size=1048576" > "$core/control" || return 1
    # The handler may hold a command for minutes (a long commit, one that never answers):
    # TCMU's own time limit is off, the SCSI midlayer's timeouts are the program's. Aborts
    # are put in the ring for the handler to see.
    echo 0 > "$core/attrib/cmd_time_out" || return 1
    echo 1 > "$core/attrib/tmr_notification" || echo "guest: no abort notification for $name"
    echo 1 > "$core/enable" || return 1
    uio=""
    for dir in /sys/class/uio/uio*; do
        [ "$(cat "$dir/name" 2>/dev/null)" = "tcm-user/0/$name/flashutil/$name" ] && uio=/dev/${dir##*/}
    done
    [ -n "$uio" ] && kd_wait 50 test -c "$uio" || { echo "guest: no uio device for $name"; return 1; }
    "$KD_HANDLER" --uio "$uio" --record "$state/record" "--virtual-drive=$options" "$@" \
        > "$state/handler.txt" 2>&1 &
    echo $! > "$state/pid"
    kd_wait 100 grep -qx ready "$state/record" 2>/dev/null || { cat "$state/handler.txt"; return 1; }
    # One loopback target (its own SCSI host) with its nexus, then the LUN: linking it adds the
    # SCSI device (a LUN linked before the nexus is scanned without one, and stays away).
    loopback=$KD_TARGET/loopback/naa.5001405000000$(printf '%03x' $kd_count)
    echo "$loopback" > "$state/loopback"
    mkdir -p "$loopback/tpgt_1" &&
        echo "naa.5001405100000$(printf '%03x' $kd_count)" > "$loopback/tpgt_1/nexus" &&
        mkdir "$loopback/tpgt_1/lun/lun_0" &&
        ln -s "$core" "$loopback/tpgt_1/lun/lun_0/drive" || return 1
    if ! kd_wait 300 kd_attached "$name"; then
        echo "guest: no sg and sr nodes for $name (target at $(cat "$loopback/tpgt_1/address" 2>&1))"
        ls /sys/class/scsi_device /sys/class/scsi_generic 2>&1 | sed 's/^/guest: /'
        dmesg | tail -n 20 | sed 's/^/guest: dmesg: /'
        return 1
    fi
    # The sr driver's probe ends before its node is there; its own first commands with it.
    sleep 0.5
    kill -USR1 "$(kd_pid "$name")"
    kd_wait 50 grep -qx armed "$state/record" || return 1
    KD_NODE=$(kd_node "$name")
    KD_BLOCK=$(kd_block "$name")
}

kd_pull() { # kd_pull NAME
    loopback=$(kd_loopback "$1")
    # Unlinking the LUN returns only when its outstanding command has ended.
    (rm "$loopback/tpgt_1/lun/lun_0/drive" && rmdir "$loopback/tpgt_1/lun/lun_0") &
    pulling=$!
    kd_wait 300 kd_gone "$1" || echo "guest: the nodes of $1 are still there"
    kill -USR2 "$(kd_pid "$1")"
    wait $pulling
}

kd_remove() { # kd_remove NAME
    state=$KD_STATE/$1
    loopback=$(kd_loopback "$1")
    if [ -e "$loopback/tpgt_1/lun/lun_0/drive" ]; then
        rm "$loopback/tpgt_1/lun/lun_0/drive"
        rmdir "$loopback/tpgt_1/lun/lun_0"
    fi
    rmdir "$loopback/tpgt_1" "$loopback"
    pid=$(kd_pid "$1")
    kill -TERM "$pid"
    wait "$pid"
    rmdir "$(cat "$state/core")"
}
