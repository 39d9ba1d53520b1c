# Velmora: `make run` builds and starts the program under Wine with a sample photo (or the
# photos in PHOTOS="a.jpg b.jpg"), `make test` builds and
# runs every test. Both install what the machine lacks first (scripts/setup.sh).
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: all setup configure build test run package clean

all: build

setup:
	bash scripts/setup.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(CMAKE_FLAGS)

configure: setup $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$$(nproc)

test: build
	bash scripts/run-tests.sh $(BUILD)

run: build
	bash scripts/run-app.sh $(BUILD) $(PHOTOS)

package: build
	bash scripts/package.sh $(BUILD)

clean:
	rm -rf $(BUILD)
