# Tokvin - set-up, build, run and test on Debian. See README.md.
BUILD    := build
VERSION  := $(shell sed -n '/^project/s/.*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DIST     := dist/tokvin-$(VERSION)-win32
BENCH_SECONDS := 20
PACKAGES := cmake make python3 g++-mingw-w64-i686 wine wine32:i386 wine64 \
            xvfb xauth xdotool imagemagick doctest-dev icoutils halibut \
            sndfile-programs zip unzip fonts-wine p7zip-full \
            pulseaudio pulseaudio-utils libpulse0:i386

.PHONY: all deps build run test bench dist clean

all: build

# Installs what is missing when run as root; otherwise says what to install.
# PulseAudio itself (for the sound test's own server) is left out where
# PipeWire already serves the desktop's sound.
deps:
	@missing=$$(for p in $(PACKAGES); do \
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

build: deps
	@cmake --preset default >/dev/null
	@cmake --build $(BUILD) --parallel 2 -- --no-print-directory

run: build
	@if [ -n "$$DISPLAY" ]; then \
	  TOKVIN_SOUND=1 tests/wine-env.sh $(BUILD)/wine-run wine $(BUILD)/tokvin.exe; \
	else \
	  tests/wine-env.sh $(BUILD)/wine-run tests/screenshot.sh $(BUILD)/tokvin.exe $(BUILD)/tokvin.png && \
	  echo "No display here: Tokvin ran on a virtual one; its window is in $(BUILD)/tokvin.png"; \
	fi

test: build
	@tests/wine-env.sh $(BUILD)/wine-test ctest --preset default

# Timing figures: the beat grid on simulated timers, then the real program
# under Wine for 20 s per tempo and source, then its clicks recorded from a
# sound server (about four minutes).
bench: build
	@tests/wine-env.sh $(BUILD)/wine-test sh -c '\
	  wine $(BUILD)/tests/tokvin_bench.exe && echo && \
	  TOKVIN_TRACE="Z:$(CURDIR)/$(BUILD)/bench-trace.log" BENCH_SECONDS=$(BENCH_SECONDS) \
	  wine $(BUILD)/tests/tokvin_click_bench.exe --no-intro 2>$(BUILD)/bench-trace.log && echo && \
	  python3 tests/sound_test.py $(BUILD) --bench $(BENCH_SECONDS)'

# The release: the program, its help and a short read-me. The same commit
# always gives the same zip; its checksum is printed to compare against.
dist: build
	@tools/mkdist.sh $(BUILD) dist $(VERSION)
	@echo "$(DIST).zip:" && unzip -l $(DIST).zip | sed -n '4,$$p'
	@cd dist && sha256sum $(notdir $(DIST)).zip

clean:
	rm -rf $(BUILD) dist
