# Tokvin - set-up, build, run and test on Debian. See README.md.
BUILD    := build
VERSION  := $(shell sed -n '/^project/s/.*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DIST     := dist/tokvin-$(VERSION)-win32
DEB      := dist/tokvin_$(VERSION)-1_all.deb
BENCH_SECONDS := 20
# Debian packages, by what needs them (dpkg names). Building and running
# Tokvin needs BUILD_PACKAGES and RUN_PACKAGES; a virtual display (no
# DISPLAY) also the screenshot tools; make dist also zip; make test all.
BUILD_PACKAGES := cmake make python3 g++-mingw-w64-i686 g++-mingw-w64-x86-64 icoutils halibut
RUN_PACKAGES   := wine wine32:i386 wine64 fonts-wine libpulse0 libpulse0:i386 xvfb xauth
SHOT_PACKAGES  := xdotool imagemagick
DIST_PACKAGES  := zip unzip
TEST_PACKAGES  := doctest-dev sndfile-programs p7zip-full tesseract-ocr tesseract-ocr-deu \
                  desktop-file-utils pulseaudio pulseaudio-utils lintian \
                  $(SHOT_PACKAGES) $(DIST_PACKAGES)
ifeq ($(DISPLAY),)
RUN_PACKAGES += $(SHOT_PACKAGES)
endif

# PREFIX, DESTDIR and PURGE reach linux/install.sh through the environment,
# never through a command line of ours: any path stays one word; so does
# MIDI_DEVICE (make run MIDI_DEVICE=1) on its way to the launcher.
export PREFIX DESTDIR PURGE MIDI_DEVICE

.PHONY: all deps deps-dist deps-test build run test bench dist deb install uninstall clean

all: build

# Installs what is missing when run as root; otherwise says what to install.
# PulseAudio itself (for the sound test's own server) is left out where
# PipeWire already serves the desktop's sound.
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
    echo "Install them as root: dpkg --add-architecture i386 && apt-get update && apt-get install" $$missing; \
    exit 1; \
  fi; \
  echo "Installing:" $$missing; \
  dpkg --add-architecture i386 && apt-get update -qq && \
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
fi
endef

# What building and running Tokvin needs (sudo make deps once, then make
# run as yourself).
deps:
	$(call need,$(BUILD_PACKAGES) $(RUN_PACKAGES))
deps-dist:
	$(call need,$(BUILD_PACKAGES) $(RUN_PACKAGES) $(DIST_PACKAGES))
# ... and what the tests need besides.
deps-test:
	$(call need,$(BUILD_PACKAGES) $(RUN_PACKAGES) $(TEST_PACKAGES))

# The 32-bit program and, from the same sources, the 64-bit one (build/x64).
build: deps
	@cmake --preset default >/dev/null
	@cmake --build $(BUILD) --parallel 2 -- --no-print-directory
	@cmake --preset x64 >/dev/null
	@cmake --build $(BUILD)/x64 --parallel 2 -- --no-print-directory

# The 32-bit program where this machine runs 32-bit code, else the 64-bit one.
# MIDI_DEVICE=N stores the MIDI output device first; MIDI_DEVICE=list lists
# the devices with their numbers instead of starting Tokvin.
run: build
	@case "$${MIDI_DEVICE:-}" in \
	list) set -- --midi-devices ;; \
	*)    set -- $${MIDI_DEVICE:+--midi-device "$$MIDI_DEVICE"} ;; \
	esac; \
	linux/launch.sh "$$@" \
	  $(BUILD)/tokvin.exe $(BUILD)/x64/tokvin.exe $(BUILD)/wine-user $(BUILD)/tokvin.png

# Every program this machine can run, each under its own Wine.
test: deps-test build
	@tests/run-suites.sh $(BUILD)

# Timing figures: the beat grid on simulated timers, then the real program
# under Wine for 20 s per tempo and source, then its clicks recorded from a
# sound server (about four minutes). The 32-bit program where it runs.
bench: deps-test build
	@if linux/wine-arch.sh >/dev/null; then \
	  echo "Benchmark of the 32-bit Tokvin"; set -- "" $(BUILD); \
	else \
	  echo "Benchmark of the 64-bit Tokvin: $$(linux/wine-arch.sh)"; set -- -64 $(BUILD)/x64; \
	fi; \
	linux/wine-env.sh $$1 $$2/wine-test sh -c '\
	  wine $$0/tests/tokvin_bench.exe && echo && \
	  TOKVIN_TRACE="Z:$$PWD/$$0/bench-trace.log" BENCH_SECONDS=$(BENCH_SECONDS) \
	  wine $$0/tests/tokvin_click_bench.exe --no-intro 2>$$0/bench-trace.log && echo && \
	  python3 tests/sound_test.py $$0 --bench $(BENCH_SECONDS)' $$2

# The release: the program, its help and a short read-me in a zip for
# Windows, and the Debian package. The same commit always gives the same
# bytes; the checksums are printed to compare against.
dist: deps-dist build
	@tools/mkdist.sh $(BUILD) $(BUILD)/x64 dist $(VERSION)
	@tools/mkdeb.sh $(BUILD) $(BUILD)/x64 dist $(VERSION)
	@echo "$(DIST).zip:" && unzip -l $(DIST).zip | sed -n '4,$$p'
	@cd dist && sha256sum $(notdir $(DIST)).zip $(notdir $(DEB))

# The Debian package alone (dpkg-deb, part of every Debian).
deb: deps build
	@tools/mkdeb.sh $(BUILD) $(BUILD)/x64 dist $(VERSION)
	@cd dist && sha256sum $(notdir $(DEB))

# For one user, into the desktop's menu (no root needed), with the Wine
# prefix that keeps the settings made ready; PREFIX and DESTDIR as usual.
# Settings live in ~/.local/share/tokvin and stay when Tokvin is
# uninstalled, unless PURGE=1.
install: build
	@linux/install.sh install $(BUILD) $(BUILD)/x64

uninstall:
	@linux/install.sh uninstall

clean:
	rm -rf $(BUILD) dist
