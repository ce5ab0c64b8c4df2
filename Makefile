# The project's two commands are `make test` and `make demo`; both set up what is missing.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test test-long test-sanitize demo bench soak fuzz package clean

all: build

deps:
	bash scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The quick loop: every test but the long ones (label long: the package with lintian, the
# fault matrix) and the soaks (label slow). CI runs test-long as a step of its own.
test: build
	cd $(BUILD) && ctest -LE 'slow|long' --output-on-failure -j$(JOBS) --timeout 300

test-long: build
	cd $(BUILD) && ctest -L long -LE slow --output-on-failure -j$(JOBS) --timeout 900

# The Debian package: $(BUILD)/vorlask_<version>_amd64.deb.
package: build
	cd $(BUILD) && cpack -G DEB

# The unit and end-to-end tests once more, built with AddressSanitizer and
# UndefinedBehaviorSanitizer: everything but the editor's window tests, which the plain build runs.
SAN_BUILD ?= $(BUILD)-asan
SAN_TARGETS = vorlask vorlask-cli plcsim hostlink \
  common_tests config_parsing_test config_loader_test editor_model_test editor_file_server_test \
  hostlink_line_tests hostlink_pty_tests hostlink_tool_tests polling_log_tests polling_block_tests \
  toolkit_tests toolkit_stress_tests runtime_tag_tests runtime_app_tests runtime_app_live_tests \
  polling_scenario_tests app_e2e_tests fault_matrix_tests device_server_tests plc_health_tests \
  door_server_tests
test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DVORLASK_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug \
	  "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1"
	cmake --build $(SAN_BUILD) -j$(JOBS) --target $(SAN_TARGETS)
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  ctest -LE 'slow|editor-ui|package' -E '^editor_build_demo_tests|_NOT_BUILT' --output-on-failure -j$(JOBS) --timeout 600

demo: build
	bash scripts/demo $(BUILD)

bench: build
	bash scripts/run-benchmarks $(BUILD)

soak: build
	cd $(BUILD) && ctest -L slow -LE fuzz --output-on-failure --timeout 1800

fuzz:
	bash scripts/install-deps --fuzz
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DVORLASK_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD)-fuzz -j$(JOBS) --target fuzzers
	cd $(BUILD)-fuzz && ctest -L fuzz --output-on-failure

clean:
	rm -rf $(BUILD) $(BUILD)-fuzz
