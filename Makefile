# The commands every checkout has: make demo, make test, make bench; make package builds the .deb.
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
CMAKE_FLAGS += -DSANITIZE=ON
else
BUILD_DIR ?= build
endif

.PHONY: all deps configure build test bench demo kill-sweep fuzz package clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

bench: build
	@bash bench/run.sh $(BUILD_DIR)

# The kill campaign of the end-to-end tests at every file operation instead of CI's sample.
kill-sweep: build
	@cd $(BUILD_DIR)/tests/e2e && KILL_CAMPAIGN_STRIDE=1 ./e2e_tests \
	  --gtest_filter='Interruption.OneRunSettlesEveryKill'

# The fuzz harnesses under clang's libFuzzer, FUZZ_SECONDS (60) each; `make test` only replays
# their corpora.
fuzz:
	@bash scripts/fuzz.sh

package: build
	@cmake --build $(BUILD_DIR) --target package

demo: configure
	@bash scripts/demo.sh $(BUILD_DIR)

# The MinGW-w64 toolchain, Wine and the static Windows libraries; prints the libraries' folder.
.PHONY: windows-deps
windows-deps:
	@bash scripts/windows-deps.sh

clean:
	rm -rf build build-sanitize build-fuzz
