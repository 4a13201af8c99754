# The emulated router, from the host: boot it, run POSIX shell scripts in
# it, cut its power. Sourced by bash scripts; one guest at a time.
#
#   guest_boot RUN [DISK]  boots the image (ORVANTA_SYSTEM_IMAGE) with its
#                          console, ports and, with DISK, a raw disk image
#                          whose ext4 file system becomes /opt; state under
#                          the folder RUN; waits until the guest is ready
#                          (GUEST_BOOT_MS: how long that took)
#   guest_run [DIR]        runs the script on standard input with sh in the
#                          guest, in a fresh folder holding a copy of DIR's
#                          files; prints its standard output and error and
#                          returns its exit status (255: no answer)
#   guest_kill             the power cut: qemu killed at once
#   guest_record           what the guest wrote to /dev/orvanta.record (a
#                          record that survives a cut), one line each
#   guest_console          the serial console's log
# The qemu process is killed on every way out of the sourcing script
# (guest_kill from its EXIT trap).
#
# The machine: qemu-system-arm -M virt, a Cortex-A15, 128 MB, TCG; the
# console on the first serial port; two virtio-serial ports, "orvanta.jobs"
# (the jobs, both ways) and "orvanta.record" (from the guest, into a file).

GUEST_IMAGE=${ORVANTA_SYSTEM_IMAGE:-}
GUEST_PID=
GUEST_RUN=
GUEST_BOOT_MS=
# Deadlines in seconds: the boot, and one job's answer.
GUEST_BOOT_DEADLINE=${ORVANTA_GUEST_BOOT_DEADLINE:-300}
GUEST_JOB_DEADLINE=${ORVANTA_GUEST_JOB_DEADLINE:-1800}

guest_now_ms() {
  local now
  now=$(date +%s%N)
  echo $((now / 1000000))
}

guest_boot() {
  local run=$1 disk=${2:-} append="console=ttyAMA0 rdinit=/sbin/init panic=-1 quiet" started line
  local -a drive=()
  guest_kill
  GUEST_RUN=$(mkdir -p "$run" && cd "$run" && pwd)
  rm -f "$GUEST_RUN"/{jobs.in,jobs.out,console.log}
  : >> "$GUEST_RUN/record.log"
  mkfifo "$GUEST_RUN/jobs.in" "$GUEST_RUN/jobs.out"
  if [ -n "$disk" ]; then
    append+=" orvanta.opt=disk"
    drive=(-drive "if=none,id=opt,format=raw,cache=writeback,file=$disk" -device virtio-blk-device,drive=opt)
  fi
  started=$(guest_now_ms)
  qemu-system-arm -M virt -cpu cortex-a15 -m 128 -accel tcg \
    -kernel "$GUEST_IMAGE/vmlinuz" -initrd "$GUEST_IMAGE/initramfs.gz" -append "$append" \
    -nodefaults -no-user-config -display none -no-reboot \
    -serial "file:$GUEST_RUN/console.log" \
    -device virtio-serial-device \
    -chardev "pipe,id=jobs,path=$GUEST_RUN/jobs" -device virtserialport,chardev=jobs,name=orvanta.jobs \
    -chardev "file,id=record,path=$GUEST_RUN/record.log,append=on" \
    -device virtserialport,chardev=record,name=orvanta.record \
    "${drive[@]}" < /dev/null > "$GUEST_RUN/qemu.log" 2>&1 &
  GUEST_PID=$!
  # Read and write ends that never block on opening: qemu holds the others.
  exec {GUEST_TX}<> "$GUEST_RUN/jobs.in" {GUEST_RX}<> "$GUEST_RUN/jobs.out"
  guest_read_line "$GUEST_BOOT_DEADLINE" line || {
    echo "guest: no ready message within ${GUEST_BOOT_DEADLINE} s" >&2
    guest_tail >&2
    return 1
  }
  case $line in
    ready\ *) GUEST_BOOT_MS=$(($(guest_now_ms) - started)) ;;
    *) echo "guest: unexpected first message: $line" >&2; return 1 ;;
  esac
}

# Reads one line from the guest into variable $2, within $1 seconds, while
# qemu runs.
guest_read_line() {
  local deadline=$(($(date +%s) + $1)) start= piece
  while [ "$(date +%s)" -lt "$deadline" ]; do
    # A read that times out keeps what it has read of the line in piece.
    if IFS= read -r -t 1 piece <&"$GUEST_RX"; then
      printf -v "$2" '%s' "$start$piece"
      return 0
    fi
    start+=$piece
    [ -n "$GUEST_PID" ] && kill -0 "$GUEST_PID" 2>/dev/null || return 1
  done
  return 1
}

# Copies $1 bytes of the guest's answer to standard output.
guest_read_bytes() {
  [ "$1" -eq 0 ] || timeout "$GUEST_JOB_DEADLINE" head -c "$1" <&"$GUEST_RX"
}

guest_run() {
  local dir=${1:-} job word size status
  [ -n "$GUEST_PID" ] || { echo "guest: not running" >&2; return 255; }
  job=$(mktemp -d "$GUEST_RUN/job.XXXXXX")
  mkdir "$job/files"
  [ -z "$dir" ] || cp -a "$dir/." "$job/files/"
  cat > "$job/files/.job"
  tar -c -f "$job/tar" -C "$job/files" --owner=0 --group=0 .
  { echo "job $(stat -c %s "$job/tar")"; cat "$job/tar"; } >&"$GUEST_TX"
  rm -rf "$job"
  for stream in out err; do
    guest_read_line "$GUEST_JOB_DEADLINE" word || { echo "guest: no answer" >&2; return 255; }
    size=${word#"$stream "}
    case $word in
      "$stream "[0-9]*) ;;
      *) echo "guest: unexpected answer: $word" >&2; return 255 ;;
    esac
    if [ "$stream" = out ]; then guest_read_bytes "$size"; else guest_read_bytes "$size" >&2; fi
  done
  guest_read_line 60 word || { echo "guest: no status" >&2; return 255; }
  status=${word#status }
  case $status in '' | *[!0-9]*) echo "guest: unexpected answer: $word" >&2; return 255 ;; esac
  return "$status"
}

guest_kill() {
  if [ -n "$GUEST_PID" ]; then
    kill -KILL "$GUEST_PID" 2>/dev/null || true
    wait "$GUEST_PID" 2>/dev/null || true
    GUEST_PID=
    exec {GUEST_TX}>&- {GUEST_RX}<&-
  fi
  return 0
}

guest_record() { cat "$GUEST_RUN/record.log"; }
guest_console() { echo "$GUEST_RUN/console.log"; }

# The end of the console and of qemu's own messages, for a failure report.
guest_tail() {
  echo "-- console (last lines)"
  tail -n 30 "$GUEST_RUN/console.log" 2>/dev/null
  [ -s "$GUEST_RUN/qemu.log" ] && { echo "-- qemu"; cat "$GUEST_RUN/qemu.log"; }
  return 0
}

trap guest_kill EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
