# Set-up, build, run and test on Debian. `make run` and `make test` are all a new machine needs.
PACKAGES := cmake ninja-build g++ make pkg-config libzstd-dev qt6-base-dev qt6-translations-l10n libgtest-dev libgmock-dev \
            libbenchmark-dev fonts-dejavu-core xvfb xdotool openbox wmctrl python3-pytest python3-xlib \
            python3-pyatspi at-spi2-core dbus-daemon \
            qt6-wayland sway wtype zstd fuse2fs strace dpkg-dev file desktop-file-utils appstream lintian
BUILD ?= build
VERSION := $(shell grep -oP '^project.limbrik.*VERSION \K[0-9.]+' CMakeLists.txt)
# CI treats warnings as errors.
WERROR := $(if $(filter true 1,$(CI)),ON,OFF)
CMAKE_FLAGS := -G Ninja -DLIMBRIK_WERROR=$(WERROR)

.PHONY: run test sanitize bench screenshot package check-package install-deps build

run: build
	./$(BUILD)/app/limbrik

test: build
	ctest --test-dir $(BUILD) --output-on-failure

sanitize: install-deps
	cmake -S . -B build-sanitize $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLIMBRIK_SANITIZE=ON
	cmake --build build-sanitize
	ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  ctest --test-dir build-sanitize --output-on-failure

bench: install-deps
	cmake -S . -B build-bench $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DLIMBRIK_BENCH=ON -DBUILD_TESTING=OFF
	cmake --build build-bench
	for b in build-bench/bench/bench_*; do QT_QPA_PLATFORM=offscreen $$b --benchmark_min_time=0.2 || exit 1; done
	# A drag's pass once more on an X server, where asking for the pointer is a round trip.
	xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb build-bench/bench/bench_editor \
	  --benchmark_filter=DragPass --benchmark_min_time=0.2
	python3 bench/wakeups.py build-bench/app/limbrik build-bench/bench/polling_editor

screenshot: build
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/tools/screenshot docs/editor.png

package: build
	cd $(BUILD) && cpack -G DEB

check-package: package
	tests/package/check_package.sh $(BUILD)/limbrik_$(VERSION)_$$(dpkg --print-architecture).deb $(VERSION) \
	  tests/e2e

build: install-deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)

install-deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
	  else \
	    echo "Missing packages. Run:"; echo "  sudo apt-get install -y --no-install-recommends$$missing"; exit 1; \
	  fi; \
	fi
