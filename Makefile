# Tokvin - set-up, build, run and test on Debian. See README.md.
BUILD    := build
VERSION  := $(shell sed -n '/^project/s/.*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DIST     := dist/tokvin-$(VERSION)-win32
DEB      := dist/tokvin_$(shell dpkg-parsechangelog -l debian/changelog -S Version 2>/dev/null)_$(shell dpkg --print-architecture).deb
BENCH_SECONDS := 20
# Debian packages, by what needs them (dpkg names). The native Linux
# edition needs LINUX_PACKAGES; the Windows program BUILD_PACKAGES and, to
# run it under Wine, RUN_PACKAGES; a virtual display (no DISPLAY) also the
# screenshot tools; make dist also zip; make test all.
LINUX_PACKAGES := cmake make python3 g++ pkg-config halibut libgtk-4-dev libpulse-dev libasound2-dev
BUILD_PACKAGES := cmake make python3 g++-mingw-w64-i686 g++-mingw-w64-x86-64 icoutils halibut
RUN_PACKAGES   := wine wine32:i386 wine64 fonts-wine libpulse0 libpulse0:i386 xvfb xauth
SHOT_PACKAGES  := xvfb xauth xdotool imagemagick
DIST_PACKAGES  := zip unzip
DEB_PACKAGES   := debhelper dpkg-dev $(LINUX_PACKAGES)
D13_PACKAGES   := debootstrap xvfb xauth xdotool
TEST_PACKAGES  := doctest-dev sndfile-programs p7zip-full tesseract-ocr tesseract-ocr-deu \
                  desktop-file-utils pulseaudio pulseaudio-utils lintian locales \
                  at-spi2-core python3-gi gir1.2-atspi-2.0 dbus appstream \
                  $(DEB_PACKAGES) $(SHOT_PACKAGES) $(DIST_PACKAGES)
ifeq ($(DISPLAY),)
RUN_PACKAGES += $(SHOT_PACKAGES)
LINUX_PACKAGES += $(SHOT_PACKAGES)
endif

# PREFIX, DESTDIR and PURGE reach the install scripts through the environment,
# never through a command line of ours: any path stays one word; so does
# MIDI_DEVICE (make run-windows MIDI_DEVICE=1) on its way to the launcher.
export PREFIX DESTDIR PURGE MIDI_DEVICE

.PHONY: all deps deps-linux deps-dist deps-test build build-linux run run-windows test test-debian13 \
        bench dist deb \
        install uninstall clean

all: build-linux build

# Installs what is missing when run as root; otherwise says what to install.
# PulseAudio itself (for the sound test's own server) is left out where
# PipeWire already serves the desktop's sound. A mirror in the middle of a
# sync can withhold one architecture's index, and then i386 and amd64 no
# longer agree on a version; the release's own suite gives both the same.
define need
@missing=$$(for p in $(1); do \
  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
done); \
if dpkg-query -W -f='$${Status}\n' pipewire-pulse 2>/dev/null | grep -q 'install ok installed'; then \
  missing=$$(echo $$missing | tr ' ' '\n' | grep -vx pulseaudio || true); \
fi; \
if [ -n "$$missing" ]; then \
  if [ "$$(id -u)" -ne 0 ]; then \
    echo "Missing Debian packages:" $$missing; \
    case "$$missing" in *:i386*) echo "Install them as root: dpkg --add-architecture i386 && apt-get update && apt-get install" $$missing ;; \
    *) echo "Install them as root: apt-get update && apt-get install" $$missing ;; esac; \
    exit 1; \
  fi; \
  echo "Installing:" $$missing; \
  case "$$missing" in *:i386*) dpkg --add-architecture i386 ;; esac; \
  for try in 1 2 3; do apt-get update -qq && break; sleep 30; done; \
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null || \
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    -t "$$(. /etc/os-release && echo "$$VERSION_CODENAME")" $$missing >/dev/null; \
fi
endef

# What building and running Tokvin needs (sudo make deps once, then make
# run as yourself): the native edition's alone, or with the Windows program's.
deps-linux:
	$(call need,$(LINUX_PACKAGES))
deps:
	$(call need,$(LINUX_PACKAGES) $(BUILD_PACKAGES) $(RUN_PACKAGES))
deps-dist:
	$(call need,$(BUILD_PACKAGES) $(RUN_PACKAGES) $(DIST_PACKAGES) $(DEB_PACKAGES))
deps-deb:
	$(call need,$(DEB_PACKAGES))
# ... and what the tests need besides.
deps-test:
	$(call need,$(BUILD_PACKAGES) $(RUN_PACKAGES) $(TEST_PACKAGES))

# The native Linux edition (build/linux), with GTK 4; no Wine, no MinGW.
build-linux: deps-linux
	@cmake --preset linux >/dev/null
	@cmake --build $(BUILD)/linux --parallel 2 -- --no-print-directory

# The native edition. Without a display it runs on a virtual one, and a
# picture of its window is saved.
run: build-linux
	@linux/run.sh $(BUILD)/linux/tokvin $(BUILD)/tokvin.png

# The Windows program, 32-bit and, from the same sources, 64-bit (build/x64).
build: deps
	@cmake --preset default >/dev/null
	@cmake --build $(BUILD) --parallel 2 -- --no-print-directory
	@cmake --preset x64 >/dev/null
	@cmake --build $(BUILD)/x64 --parallel 2 -- --no-print-directory

# The Windows program under Wine: the 32-bit one where this machine runs
# 32-bit code, else the 64-bit one. MIDI_DEVICE=N stores the MIDI output
# device first; MIDI_DEVICE=list lists the devices with their numbers
# instead of starting Tokvin.
run-windows: build
	@case "$${MIDI_DEVICE:-}" in \
	list) set -- --midi-devices ;; \
	*)    set -- $${MIDI_DEVICE:+--midi-device "$$MIDI_DEVICE"} ;; \
	esac; \
	wine/launch.sh "$$@" \
	  $(BUILD)/tokvin.exe $(BUILD)/x64/tokvin.exe $(BUILD)/wine-user $(BUILD)/tokvin.png

# The native edition's tests, then every Windows program this machine can
# run, each under its own Wine.
test: deps-test build-linux build
	@tests/run-suites.sh $(BUILD)

# Timing figures: the native edition's clicks recorded from a sound server
# and its MIDI notes through the sequencer double;
# then the Windows program's beat grid on simulated timers, the real
# program under Wine for 20 s per tempo and source, and its clicks recorded
# (about twelve minutes). The 32-bit program where it runs.
bench: deps-test build-linux build
	@echo "Benchmark of the native Linux edition"
	@xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
	  python3 tests/sound_test.py $(BUILD)/linux --native $(BUILD)/linux/tokvin \
	    $(BUILD)/linux/tests/linux/libfakeseq.so --bench $(BENCH_SECONDS)
	@echo
	@if wine/wine-arch.sh >/dev/null; then \
	  echo "Benchmark of the 32-bit Tokvin"; set -- "" $(BUILD); \
	else \
	  echo "Benchmark of the 64-bit Tokvin: $$(wine/wine-arch.sh)"; set -- -64 $(BUILD)/x64; \
	fi; \
	wine/wine-env.sh $$1 $$2/wine-test sh -c '\
	  wine $$0/tests/tokvin_bench.exe && echo && \
	  TOKVIN_TRACE="Z:$$PWD/$$0/bench-trace.log" BENCH_SECONDS=$(BENCH_SECONDS) \
	  wine $$0/tests/tokvin_click_bench.exe --no-intro 2>$$0/bench-trace.log && echo && \
	  python3 tests/sound_test.py $$0 --bench $(BENCH_SECONDS)' $$2

# The release: the program, its help and a short read-me in a zip for
# Windows, and the Debian package. The same commit always gives the same
# bytes; the checksums are printed to compare against.
dist: deps-dist build
	@tools/mkdist.sh $(BUILD) $(BUILD)/x64 dist $(VERSION)
	@tools/mkdeb.sh $(BUILD) dist >/dev/null
	@echo "$(DIST).zip:" && unzip -l $(DIST).zip | sed -n '4,$$p'
	@cd dist && sha256sum $(notdir $(DIST)).zip $(notdir $(DEB))

# The Debian package alone, made by dpkg-buildpackage and debhelper.
deb: deps-deb
	@tools/mkdeb.sh $(BUILD) dist >/dev/null
	@cd dist && sha256sum $(notdir $(DEB))

# The release check on Debian 13: a minimal root (cached in build/), the
# package installed into it with apt, Tokvin started there by a new user;
# then this commit's make test there, as a developer runs it, in a second
# root (build/debian13-developer). About 15 minutes; .ci/run leaves it out.
test-debian13: deps-deb
	$(call need,$(D13_PACKAGES))
	@tools/mkdeb.sh $(BUILD) dist >/dev/null
	@tests/debian13.sh $(BUILD)/debian13 $(DEB)

# The native edition for one user, into the desktop's menu (no root
# needed); PREFIX and DESTDIR as usual. The settings in ~/.config/tokvin
# stay when Tokvin is uninstalled, unless PURGE=1.
install: build-linux
	@linux/install.sh install $(BUILD)/linux

uninstall:
	@linux/install.sh uninstall

clean:
	rm -rf $(BUILD) dist
