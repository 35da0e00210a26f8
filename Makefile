# The commands every checkout has: make demo, make test, make bench; make package builds the .deb.
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
CMAKE_FLAGS += -DSANITIZE=ON
else
BUILD_DIR ?= build
endif

.PHONY: all deps configure build test tsan format-check bench demo kill-sweep fuzz package clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

# The test binaries whose code starts threads (the patch worker, the stages' worker pool, the
# progress threads, the completion-port thread, the window's bridge, the hashing follower) under
# ThreadSanitizer, in a tree of their own.
TSAN_TESTS = kernel_tests net_tests apply_tests transfer_tests repair_tests session_tests \
             app_tests gui_tests
# Tests that misuse a mutex on purpose to see it refused: the sanitizer reports the misuse itself.
TSAN_SKIP = MutexTest.(UnlockFromAThreadThatDoesNotHoldItThrows|OwnerMayLockAgainAndEachLockNeedsItsUnlock)
empty :=
space := $(empty) $(empty)
tsan: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DTSAN=ON >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target $(TSAN_TESTS)
	@cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 \
	  suppressions=$(CURDIR)/tests/tsan.supp" ctest --output-on-failure -j $(JOBS) --timeout 900 \
	  -L '^($(subst $(space),|,$(TSAN_TESTS)))$$' -E '$(TSAN_SKIP)'

# Every C++ file as .clang-format lays it out.
format-check: deps
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

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
.PHONY: windows-deps windows-configure windows windows-all test-windows demo-windows
windows-deps:
	@bash scripts/windows-deps.sh

# The Windows build (cross-compiled, run under Wine) in a tree of its own.
WINDOWS_BUILD_DIR ?= build-windows
WINDOWS_DIST = dist/windows
WINDOWS_PROGRAMS = InstallPatchCLI zephpack orbpatch zephrepaird
windows-configure:
	@deps=$$(bash scripts/windows-deps.sh) && cmake -S . -B $(WINDOWS_BUILD_DIR) -G Ninja \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DORVIK_WINDOWS_DEPS="$$deps" \
	  -DORVIK_LINUX_BUILD=$(CURDIR)/$(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) >/dev/null

# The shipped programs in dist/windows/, without their debugging symbols (the build tree keeps
# them), the difference tool also under the product's name for it, and a zip of that folder.
windows: windows-configure
	@cmake --build $(WINDOWS_BUILD_DIR) -j $(JOBS) --target $(WINDOWS_PROGRAMS)
	@rm -rf $(WINDOWS_DIST) && mkdir -p $(WINDOWS_DIST)
	@for p in $(WINDOWS_PROGRAMS); do x86_64-w64-mingw32-strip -o $(WINDOWS_DIST)/$$p.exe \
	  $$(find $(WINDOWS_BUILD_DIR) -name $$p.exe -print -quit); done
	@cp $(WINDOWS_DIST)/orbpatch.exe $(WINDOWS_DIST)/orbpatchl-w32.exe
	@cd $(WINDOWS_DIST) && cmake -E tar cf ../InstallPatch-windows.zip --format=zip *.exe
	@echo "$(WINDOWS_DIST)/ and dist/InstallPatch-windows.zip"

# Every Windows target: the programs, the tests and the programs the tests start.
windows-all: windows-configure
	@cmake --build $(WINDOWS_BUILD_DIR) -j $(JOBS)

# The unit tests under Wine, and the end-to-end run that also repairs from the Linux server.
test-windows: configure windows-all
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target zephrepaird
	@cd $(WINDOWS_BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 900

# The console demo's installer built for Windows, under Wine.
demo-windows: windows-configure
	@cmake --build $(WINDOWS_BUILD_DIR) -j $(JOBS) --target $(WINDOWS_PROGRAMS) VelmorUtil
	@python3 scripts/demo_windows.py $(WINDOWS_BUILD_DIR) $(WINDOWS_BUILD_DIR)/demo

clean:
	rm -rf build build-sanitize build-tsan build-fuzz build-windows dist
