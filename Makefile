# The set-up commands of the README (make package, make run, make test), the demo and
# benchmarks, and the Windows program (make windows).
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build run test package demo bench screenshot windows screenshot-windows clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/qt/brisko-k71

test: deps
	scripts/test.sh

package: deps
	scripts/windows.sh
	scripts/package.sh

demo: build
	scripts/demo.sh $(BUILD)

screenshot: build
	scripts/screenshot.sh $(BUILD)

windows: deps
	scripts/windows.sh

screenshot-windows: deps
	scripts/screenshot-windows.sh

bench: deps
	scripts/bench.sh

clean:
	rm -rf build build-*
