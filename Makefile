# The commands every checkout has: make demo, make test, make bench.
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)

ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
CMAKE_FLAGS += -DSANITIZE=ON
else
BUILD_DIR ?= build
endif

.PHONY: all deps configure build test bench demo clean

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

demo: configure
	@bash scripts/demo.sh $(BUILD_DIR)

# The MinGW-w64 toolchain, Wine and the static Windows libraries; prints the libraries' folder.
.PHONY: windows-deps
windows-deps:
	@bash scripts/windows-deps.sh

clean:
	rm -rf build build-sanitize
