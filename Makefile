# The two commands of the README: each installs what is missing, builds, then runs.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: run test build deps clean

run: build
	./$(BUILD_DIR)/lumbrisk

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(BUILD_DIR) -j $(JOBS)

deps:
	scripts/install-deps.sh

clean:
	rm -rf $(BUILD_DIR)
