# The two commands of the README: each installs what is missing, builds, then runs.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
SANITIZE_DIR ?= build-asan

.PHONY: run test build deps clean package install test-sanitizers

run: build
	./$(BUILD_DIR)/lumbrisk

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(BUILD_DIR) -j $(JOBS)

deps:
	scripts/install-deps.sh

# The Debian package, lumbrisk_<version>_<arch>.deb in the build folder.
package: build
	cd $(BUILD_DIR) && cpack -G DEB

install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer; the first
# report stops the program at fault, which fails its test. Leak checking is on: the test
# programs end normally, so a leak fails them (Qt 6.4 reports none here). The lumbrisk
# program itself ends at once when its window closes, so its own leaks go unchecked.
test-sanitizers: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DLUMBRISK_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	# The package's checks, the browsers' readings of its files and the catalogue recipes test
	# what the release build writes and how it is run; make test runs them, and they would
	# only double the time here.
	cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -E '^(lintian|desktop_entry|metainfo|waveform_client|peaks_player|review_page|slurm_array|parallel_ssh)$$'

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR)
