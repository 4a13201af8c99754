# ubifs-cuts.sh CUTS: /opt on UBIFS over an emulated NAND (nandsim, 16 MiB
# of 512-byte pages in 16 KiB blocks) and UBI, the module installed and
# started there; then CUTS times: the save loop, a power cut emulated by
# UBI (tst_emulate_power_cut: after a random number of its header writes
# the flash takes no more), the module stopped, UBIFS unmounted, UBI
# detached and attached again (the flash keeps what it held), UBIFS
# mounted (its recovery) and the checks after a cut.
. ./saves.sh

acks=/run/acks
debug=/sys/kernel/debug/ubi/ubi0
first_ack() { grep -q '^saved' $acks; }
loop_ended() { grep -q -e '^failed' -e '^done' $acks; }

attach() {
    ubiattach -m 0 -d 0 > /dev/null && mount -t ubifs ubi0:opt /opt
}

$INIT stop > /dev/null
# UBIFS sets up all of its compressors.
modprobe nandsim id_bytes=0x20,0x33 && modprobe -a deflate zstd ubifs &&
    ubiattach -m 0 -d 0 > /dev/null && ubimkvol /dev/ubi0 -N opt -m > /dev/null &&
    mount -t ubifs ubi0:opt /opt && orvanta-install && $INIT start > /dev/null ||
    { not_ok "UBIFS on nandsim, the module installed and started there"; finish; exit; }
echo "# $(cat /sys/class/mtd/mtd0/name): $(($(cat /sys/class/mtd/mtd0/size) / 1048576)) MiB," \
    "pages of $(cat /sys/class/mtd/mtd0/writesize) bytes, blocks of $(($(cat /sys/class/mtd/mtd0/erasesize) / 1024)) KiB"

cut=0
while [ "$cut" -lt "$1" ]; do
    cut=$((cut + 1))
    : > $acks
    start_saves $acks 2000
    if ! wait_for 60 first_ack; then
        not_ok "cut $cut: the saves began"
        break
    fi
    echo 1 > $debug/tst_emulate_power_cut_min
    echo 12 > $debug/tst_emulate_power_cut_max
    echo 3 > $debug/tst_emulate_power_cut
    if ! wait_for 900 loop_ended || grep -q '^done' $acks; then
        not_ok "cut $cut: the emulated power cut came within 2000 saves"
        break
    fi
    acknowledged=$(last_saved $acks)
    $INIT stop > /dev/null
    if umount /opt && ubidetach -d 0 > /dev/null && attach; then
        ok "cut $cut: UBI attached again, UBIFS mounted ($(grep -c '^saved' $acks) saves, then: $(grep '^failed' $acks))"
    else
        not_ok "cut $cut: UBI attached again, UBIFS mounted"
        break
    fi
    after_cut "$cut" "$acknowledged" "$(grep -c '^saved' $acks)"
done
$INIT stop > /dev/null
finish
