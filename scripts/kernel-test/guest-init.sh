#!/bin/busybox sh
# SPDX-License-Identifier: Apache-2.0
# /init of the test guest: mounts the kernel's file systems, loads the SCSI modules,
# runs /payload/run and powers the machine off. Its exit code goes to the console
# as "KTEST-EXIT <code>" so that the host can tell a finished run from a crash.
/bin/busybox --install -s /bin
export PATH=/bin:/sbin:/usr/bin:/usr/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
mkdir -p /dev/pts && mount -t devpts devpts /dev/pts
echo 1 > /proc/sys/kernel/printk

while read -r module; do
    # A module that does not fit this machine (crct10dif-pclmul without PCLMULQDQ)
    # refuses to load; the generic one next to it takes its place.
    insmod "/lib/modules/$module" 2>/dev/null || echo "guest: $module not loaded"
done < /lib/modules/load-order

echo "KTEST-BOOTED"
cd /payload
sh /payload/run
echo "KTEST-EXIT $?"
sync
poweroff -f
