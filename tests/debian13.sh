#!/bin/sh
# The release check on Debian 13: a minimal Debian 13 root (debootstrap
# --variant=minbase, made once and kept in ROOTDIR), the package installed
# into it with apt as a user would, and Tokvin started there by a new user
# on a virtual display, expecting its window. Says what apt added and how
# soon the window showed. Then, with the tools for it added, the window as
# a screen reader reads it on Debian 13's GTK, and the software centres'
# entry checked by its AppStream. Last, the commit cloned into a second
# root and the README's make run and make test run there by a developer
# (about 13 minutes more), and the native click recorded there on
# PipeWire 1.4 as well. Needs root.
#
#   debian13.sh ROOTDIR PACKAGE.deb     (the developer's root: ROOTDIR-developer)
set -eu
root=$1
deb=$(readlink -f "$2")
src=$(cd "$(dirname "$0")/.." && pwd)
TOOLS="python3-gi gir1.2-atspi-2.0 at-spi2-core dbus xvfb xauth xdotool appstream"
[ "$(id -u)" -eq 0 ] || { echo "debian13.sh: needs root (debootstrap, chroot)" >&2; exit 1; }

# A minimal Debian 13 in DIR, made once and kept, with this machine's
# /proc, /sys, /dev (and more, as given) inside it until the script ends.
mounted=
cleanup() {
    for m in $mounted; do umount -l "$m" 2>/dev/null || true; done
}
trap cleanup EXIT
enter() {   # enter DIR [EXTRA-MOUNT...]
    dir=$1; shift
    if [ ! -x "$dir/usr/bin/apt-get" ]; then
        echo "Making a minimal Debian 13 root in $dir (about a minute) ..."
        rm -rf "$dir.new"
        debootstrap --variant=minbase trixie "$dir.new" http://deb.debian.org/debian > "$dir.log" 2>&1 ||
            { tail -n 20 "$dir.log" >&2; exit 1; }
        mv "$dir.new" "$dir"
    fi
    cp /etc/resolv.conf "$dir/etc/resolv.conf"
    for m in proc sys dev dev/pts "$@"; do
        mkdir -p "$dir/$m" "/$m"
        mount --bind "/$m" "$dir/$m"
        mounted="$dir/$m $mounted"
    done
    mount -t tmpfs tmpfs "$dir/dev/shm" && mounted="$dir/dev/shm $mounted"
}
enter "$root" tmp/.X11-unix

echo "Debian 13: $(cat "$root/etc/debian_version")"
chroot "$root" apt-get update -qq
# anything of an earlier check goes first, so that apt says what it adds
chroot "$root" apt-get purge -y -qq tokvin $TOOLS >/dev/null 2>&1 || true
chroot "$root" apt-get autoremove -y -qq --purge >/dev/null 2>&1 || true
cp "$deb" "$root/tmp/tokvin.deb"
chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends /tmp/tokvin.deb \
    > "$root/tmp/apt.log" 2>&1 || { tail -n 20 "$root/tmp/apt.log" >&2; exit 1; }
grep -E "newly installed|additional disk space" "$root/tmp/apt.log" | sed 's/^/apt: /'
if chroot "$root" dpkg -l 2>/dev/null | grep -q '^ii  wine'; then
    echo "FAILED  the package brought Wine"; exit 1
fi

chroot "$root" sh -c 'id newcomer >/dev/null 2>&1 || useradd -m newcomer'
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" sh -c '
    root=$0
    cp "$XAUTHORITY" "$root/tmp/xauth" && chmod 644 "$root/tmp/xauth"
    began=$(date +%s%N)
    chroot "$root" setpriv --reuid=newcomer --regid=newcomer --init-groups \
        env -i HOME=/home/newcomer DISPLAY="$DISPLAY" XAUTHORITY=/tmp/xauth PATH=/usr/bin:/bin tokvin \
        > "$root/tmp/tokvin.log" 2>&1 &
    pid=$!
    for i in $(seq 1500); do
        xdotool search --onlyvisible --name "^120 BPM - Tokvin 0.99$" >/dev/null 2>&1 && break
        sleep 0.02
    done
    if xdotool search --onlyvisible --name "^120 BPM - Tokvin 0.99$" >/dev/null 2>&1; then
        echo "ok      a new user on Debian 13 sees \"120 BPM - Tokvin 0.99\" after $(( ($(date +%s%N) - began) / 1000000 )) ms"
        status=0
    else
        echo "FAILED  no window on Debian 13:"; cat "$root/tmp/tokvin.log"
        status=1
    fi
    # chroot, setpriv and env each run the next in their place: $pid is tokvin
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    exit $status' "$root"

chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $TOOLS \
    > "$root/tmp/apt.log" 2>&1 || { tail -n 20 "$root/tmp/apt.log" >&2; exit 1; }
rm -rf "$root/tmp/tokvin-tests"
mkdir -p "$root/tmp/tokvin-tests/tests"
cp "$src/tests/report.py" "$src/tests/linux/a11y_test.py" "$root/tmp/tokvin-tests/tests/"
echo "GTK on Debian 13: $(chroot "$root" dpkg-query -W -f='${Version}' libgtk-4-1)"
read=0
chroot "$root" setpriv --reuid=newcomer --regid=newcomer --init-groups \
    env -i HOME=/home/newcomer PATH=/usr/bin:/bin \
    python3 /tmp/tokvin-tests/tests/a11y_test.py /tmp/tokvin-tests /usr/bin/tokvin > "$root/tmp/a11y.log" 2>&1 || read=$?
grep -v -e '^dbus-daemon' -e '^SpiRegistry' "$root/tmp/a11y.log" || true
echo "AppStream $(chroot "$root" appstreamcli --version | sed -n 's/.*version: //p'):"
# Tokvin has no web page yet: AppStream 1.0 warns of that, and only of that
status=0
chroot "$root" appstreamcli validate --no-net --override=url-homepage-missing=info \
    /usr/share/metainfo/org.tokvin.Tokvin.metainfo.xml || status=1
[ "$read" -eq 0 ] || status=1

# A developer's path, in a Debian 13 root of its own, since what it
# installs would spoil the first one's for a new user: this commit cloned
# into it, and the README's commands run there by a user in group sudo:
# sudo make deps-linux, make run (a picture, with no display), sudo make
# deps-test and make test, every test of both editions under Wine 10. Its virtual displays
# are its own.
dev=$root-developer
enter "$dev"
chroot "$dev" apt-get update -qq
chroot "$dev" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    git make sudo ca-certificates > "$dev/tmp/apt.log" 2>&1 || { tail -n 20 "$dev/tmp/apt.log" >&2; exit 1; }
chroot "$dev" sh -c 'id developer >/dev/null 2>&1 || useradd -m -G sudo developer'
echo 'developer ALL=(ALL) NOPASSWD: ALL' > "$dev/etc/sudoers.d/developer"
chmod 440 "$dev/etc/sudoers.d/developer"
commit=$(git -C "$src" rev-parse HEAD)
rm -rf "$dev/home/developer/tokvin"
git clone -q "$src" "$dev/home/developer/tokvin" && git -C "$dev/home/developer/tokvin" checkout -q "$commit"
chroot "$dev" chown -R developer:developer /home/developer/tokvin
echo "make test on Debian 13 as a developer, commit $(echo "$commit" | cut -c1-12) (about 13 minutes) ..."
as_developer() {   # as_developer COMMAND: in the clone, with a login's bare environment
    chroot "$dev" setpriv --reuid=developer --regid=developer --init-groups \
        env -i HOME=/home/developer USER=developer LOGNAME=developer PATH=/usr/local/bin:/usr/bin:/bin \
        sh -c "cd ~/tokvin && $1"
}
began=$(date +%s) verdict=ok
as_developer 'sudo make deps-linux && make run && sudo make deps-test && make test' \
    > "$dev/tmp/make-test.log" 2>&1 || verdict=FAILED
took=$(( $(date +%s) - began ))
grep -E "^No display|tests passed|^Tested|passed\.|^FAILED" "$dev/tmp/make-test.log" | sed 's/^/        /'
echo "$verdict  the README's make run and make test on Debian 13: $((took / 60)) min $((took % 60)) s" \
     "(the log: $dev/tmp/make-test.log)"
# PipeWire 1.4 beside PulseAudio, as CI installs it, for the native
# click's recordings on both; removed again, so that the root stays a
# developer's for the next run
echo "The native click on Debian 13's PipeWire ..."
pw="pipewire wireplumber pipewire-pulse" said=FAILED
if chroot "$dev" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $pw > "$dev/tmp/apt.log" 2>&1; then
    as_developer 'pipewire --version | head -n 2 &&
                  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" ctest --preset linux -R "^sound\$" -V' \
        > "$dev/tmp/pipewire.log" 2>&1 && said=ok
    grep -E "^Compiled with|PipeWire" "$dev/tmp/pipewire.log" | sed 's/^/        /'
else
    tail -n 20 "$dev/tmp/apt.log" >&2
fi
chroot "$dev" apt-get purge -y -qq --autoremove $pw >/dev/null 2>&1 || true
echo "$said  the native click on PipeWire (the log: $dev/tmp/pipewire.log)"
[ "$said" = ok ] || status=1
echo "The Debian 13 roots stay in $root and $dev for the next run; make clean removes them."
[ "$verdict" = ok ] || status=1
exit "$status"
