# The project's two commands are `make test` and `make demo`; both set up what is missing.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test demo bench soak fuzz clean

all: build

deps:
	bash scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest -LE slow --output-on-failure -j$(JOBS) --timeout 300

demo: build
	bash scripts/demo $(BUILD)

bench: build
	bash scripts/run-benchmarks $(BUILD)

soak: build
	cd $(BUILD) && ctest -L slow -LE fuzz --output-on-failure --timeout 1800

fuzz:
	bash scripts/install-deps --fuzz
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DVORLASK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD)-fuzz -j$(JOBS)
	cd $(BUILD)-fuzz && ctest -L fuzz --output-on-failure

clean:
	rm -rf $(BUILD) $(BUILD)-fuzz
