#!/usr/bin/env bash
# The service files, read by the programs that use them, one PART a run:
#   udev      udevadm runs the udev rules on a tty;
#   unit      systemd-analyze verifies the unit installed into a scratch
#             prefix under the names that udev and the docs give it;
#   rotation  logrotate rotates a real fslog's log with the shipped settings.
#     test_service_files.sh BUILD_DIR SERVICE_DIR PART
# A part whose needs this place lacks (root, a mount namespace, a tty in
# /sys, the program itself: a chroot, a container or a user may lack them)
# says which and ends with status 77, which CTest counts as skipped.
set -euo pipefail
build=$1
service=$2
part=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
skip() {
    echo "skipped: $*"
    exit 77
}
need_program() {
    command -v "$1" >/dev/null || skip "no $1 here"
}

if [[ $part == udev ]]; then
    ((EUID == 0)) || skip "udevadm test needs root"
    need_program udevadm
    unshare --mount true 2>"$scratch/unshare.txt" || skip "no mount namespace here: $(cat "$scratch/unshare.txt")"

    # udev: an adapter with the example's serial number gets the link, the
    # systemd tag and the service. udevadm test writes links and its database,
    # so /dev and /run are scratch copies here.
    tty=$(ls -d /sys/class/tty/ttyS0 /sys/class/tty/tty0 2>/dev/null | head -n 1) || true
    [[ -n $tty ]] || skip "no tty in /sys/class/tty"
    serial=A1B2C3D4
    echo "KERNEL==\"${tty##*/}\", ENV{ID_SERIAL_SHORT}=\"$serial\"" >"$scratch/00-serial.rules"
    unshare --mount bash -c '
        mount -t tmpfs tmpfs /run && mount -t tmpfs tmpfs /dev && mkdir -p /run/udev/rules.d &&
        cp "$1/00-serial.rules" "$2/70-fslog.rules" /run/udev/rules.d/ &&
        udevadm test --action=add "$3"' _ "$scratch" "$service" "$tty" >"$scratch/udev.txt" 2>&1 ||
        fail "udevadm test: $(cat "$scratch/udev.txt")"
    grep -q '^Reading rules file: /run/udev/rules.d/70-fslog.rules' "$scratch/udev.txt" || fail "rules not read"
    if grep '^/run/udev/rules.d/70-fslog.rules' "$scratch/udev.txt"; then
        fail "udev has something to say about the rules"
    fi
    property() { sed -n "s/^$1=//p" "$scratch/udev.txt"; }
    [[ " $(property DEVLINKS) " == *" /dev/fslog/$serial "* ]] || fail "links: $(property DEVLINKS)"
    [[ $(property TAGS) == *:systemd:* ]] || fail "tags: $(property TAGS)"
    wanted=$(property SYSTEMD_WANTS)
    instance=${wanted#fslog@}
    instance=${instance%.service}
    # The unit binds to dev-<instance>.device, which must be the link's.
    [[ $(systemd-escape --path "/dev/fslog/$serial") == "dev-$instance" ]] || fail "udev starts $wanted"
fi

# systemd-analyze: the unit under the three kinds of name, with nothing to say.
if [[ $part == unit ]]; then
    need_program systemd-analyze
    # A unit with nothing wrong in it: if that fails, the place lacks what
    # verify needs (a chroot without /run/systemd, for a user).
    printf '%s\n' "[Service]" "ExecStart=/bin/true" >"$scratch/plain.service"
    systemd-analyze verify "$scratch/plain.service" >"$scratch/plain.txt" 2>&1 ||
        skip "systemd-analyze verify can't run here: $(head -n 1 "$scratch/plain.txt")"
    serial=A1B2C3D4
    wanted=fslog@$(systemd-escape --path "/dev/fslog/$serial").service
    cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
    units=$scratch/prefix/lib/systemd/system
    by_id=$(systemd-escape serial/by-id/usb-FTDI_FT232R_USB_UART_${serial}-if00-port0)
    MANPATH=$scratch/prefix/share/man systemd-analyze verify \
        "$units/fslog@ttyUSB0.service" "$units/$wanted" "$units/fslog@$by_id.service" >"$scratch/verify.txt" 2>&1 ||
        fail "systemd-analyze verify: $(cat "$scratch/verify.txt")"
    [[ ! -s $scratch/verify.txt ]] || fail "systemd-analyze verify: $(cat "$scratch/verify.txt")"
fi

# logrotate: move the log away and make a new one, keep the newest old log
# plain and compress the one before, and have fslog go on in the new file:
# a real fslog, under fslog-sim, signalled by the installed script, given
# its PID rather than finding it through systemd, with root for the user
# fslog that a build host lacks.
if [[ $part == rotation ]]; then
    ((EUID == 0)) || skip "the rotation's create of root's file needs root"
    need_program logrotate
    cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
    reopen=$scratch/prefix/libexec/fslog/fslog-reopen-logs
    # A process that catches SIGUSR1 only after a while, as fslog just
    # started by systemd: signalled at once, it would die.
    bash -c 'sleep 0.3; trap "echo reopened" USR1; sleep 2 & wait; sleep 0.1' >"$scratch/late.txt" &
    late=$!
    "$reopen" "$late" || fail "the script gave up on a process that catches SIGUSR1 late"
    wait "$late" || fail "a process that catches SIGUSR1 late died of it (status $?)"
    [[ $(cat "$scratch/late.txt") == reopened ]] || fail "the late catcher got no SIGUSR1"
    logs=$scratch/logs
    mkdir "$logs"
    "$build/fslog-sim" --link "$scratch/unit" >/dev/null &
    sim=$!
    trap 'kill $sim $fslog; rm -rf "$scratch"' EXIT
    for _ in $(seq 50); do [[ ! -e $scratch/unit ]] || break; sleep 0.1; done
    "$build/fslog" "$scratch/unit" >>"$logs/unit.log" &
    fslog=$!
    sed -e "s|/var/log/fslog/|$logs/|" -e 's/create 0644 fslog fslog/create 0644 root root/' \
        -e "s|^\( *\)$reopen\$|\1$reopen $fslog|" "$scratch/prefix/etc/logrotate.d/fslog" >"$scratch/logrotate.conf"
    grep -q "$reopen $fslog" "$scratch/logrotate.conf" || fail "no postrotate signal"
    rows() { grep -c '^ ' "$@"; }
    for _ in $(seq 50); do (($(rows "$logs/unit.log") > 2)) && break; sleep 0.2; done
    logrotate --debug --state "$scratch/state" "$scratch/logrotate.conf" 2>"$scratch/debug.txt" ||
        fail "logrotate -d: $(cat "$scratch/debug.txt")"
    for _ in 1 2; do
        logrotate --force --state "$scratch/state" "$scratch/logrotate.conf" || fail "logrotate failed"
        sleep 1
    done
    start=$(gzip -dc "$logs/unit.log.2.gz" | head -n 1)
    [[ $start == '# Logging started at '* ]] || fail "unit.log.2.gz begins: $start"
    for file in unit.log.1 unit.log; do
        [[ $(head -n 1 "$logs/$file") == "# Continued: logging started at ${start#\# Logging started at }" ]] ||
            fail "$file begins: $(head -n 1 "$logs/$file")"
        (($(rows "$logs/$file") > 2)) || fail "$file: $(cat "$logs/$file")"
    done
fi
echo "service files: the $part read as meant"
