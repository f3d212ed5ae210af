# The two set-up commands: `make run` and `make test`. Both install what is
# missing first (scripts/bootstrap), then configure and build with CMake + Ninja.
BUILD_DIR ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all bootstrap configure build test run package clean

all: build

bootstrap:
	@scripts/bootstrap

configure: bootstrap
	@cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS)

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Runs the program on the bundled demo; clips are looked up under the current
# folder, so it runs from data/demo.
run: build
	@cd data/demo && ../../$(BUILD_DIR)/src/cli/vomrella demo.vrs

# The Debian package, $(BUILD_DIR)/vomrella_VERSION_ARCH.deb; install it with
# "sudo apt install ./$(BUILD_DIR)/vomrella_*.deb".
package: build
	@cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR)
