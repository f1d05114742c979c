# Set-up and checks on a fresh Debian machine (as root):
#   make test    install what is missing, build, run every test (also under
#                ASan/UBSan) and fuzz each parser briefly; one line per stage
#   make check   the quick loop: optimised build and unit tests only
#   make serve   install what is missing, build, start the web host on the
#                demo database (holds the terminal until Ctrl-C)
# More: make fuzz, make deb, make release-check, make bench (README.md).

BUILD       ?= build
SAN_BUILD   ?= build-san
FUZZ_BUILD  ?= build-fuzz
JOBS        ?= $(shell nproc)
HOST        ?= 127.0.0.1
PORT        ?= 8080
# Warnings are errors in these builds (make test, CI); plain cmake builds
# leave them warnings.
WERROR      ?= ON
# make fuzz: seconds per target, and optionally a number of inputs after
# which each target stops sooner.
FUZZ_TIME   ?= 60
FUZZ_RUNS   ?=
# make test: seconds per fuzz target.
FUZZ_SMOKE_TIME ?= 10

.PHONY: all deps configure build build-san build-fuzz check test fuzz deb release-check bench bench-store bench-web serve clean

all: build

# The groups of Debian packages a target installs (scripts/install-deps):
# a target's setting holds for what it builds on the way.
DEPS ?= build

deps:
	@scripts/install-deps $(DEPS)

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRAND_WERROR=$(WERROR) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

build-san: DEPS = build test
build-san: deps
	@cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DOSTRAND_SANITIZE=ON -DOSTRAND_BENCH=OFF \
	  -DOSTRAND_WERROR=$(WERROR) >/dev/null
	@cmake --build $(SAN_BUILD) -j$(JOBS)

# The libFuzzer targets, built with clang (ASan, UBSan, coverage).
build-fuzz: DEPS = build test
build-fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DOSTRAND_FUZZ=ON -DOSTRAND_WERROR=$(WERROR) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzz_targets

# The quick loop while working: the optimised build and its unit tests
# (no browser, package or multi-process integration tests, no sanitizers,
# no fuzzing).
check: DEPS = build test
check: build
	@ctest --test-dir $(BUILD) -j$(JOBS) --output-on-failure -LE 'browser|package' \
	  -E '^two_servers_one_file$$'

# Every stage with a one-line summary; the full log is $(BUILD)/make-test.log.
test: DEPS = build test bench browser
test: deps
	@BUILD=$(BUILD) SAN_BUILD=$(SAN_BUILD) FUZZ_BUILD=$(FUZZ_BUILD) JOBS=$(JOBS) \
	  FUZZ_SMOKE_TIME=$(FUZZ_SMOKE_TIME) scripts/run-tests

# Each fuzz target in turn for FUZZ_TIME seconds (tests/fuzz/README.md).
fuzz: build-fuzz
	@scripts/fuzz $(FUZZ_BUILD) $(FUZZ_TIME) $(FUZZ_RUNS)

# The Debian package of the optimised build, in $(BUILD)/.
deb: configure
	@cmake --build $(BUILD) -j$(JOBS) --target ostrand ostrand_manpage
	@cd $(BUILD) && cpack -G DEB >/dev/null
	@ls $(BUILD)/ostrand_*.deb

# Release builds from the committed sources with GCC and with clang, as a
# distribution would make them (warnings stay warnings); runs their tests.
release-check: DEPS = build test
release-check: deps
	@scripts/release-check $(JOBS)

bench: DEPS = build bench
bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

# The leader month of 1,000 persons against the store's floor, on SQLite and
# on a throwaway PostgreSQL (started and stopped by the script).
bench-store: DEPS = build test bench
bench-store: build
	@scripts/bench-store $(BUILD)

# The web host against nginx serving the same bytes (bench/bench-web): takes
# about two minutes and prints each page's figures and the soak's memory.
bench-web: DEPS = build bench
bench-web: configure
	@cmake --build $(BUILD) -j$(JOBS) --target ostrand
	@bench/bench-web $(BUILD)/apps/ostrand/ostrand

# Builds only the executable (not the tests and benchmarks), then starts it.
serve: configure
	@cmake --build $(BUILD) -j$(JOBS) --target ostrand
	@scripts/serve $(BUILD)/apps/ostrand/ostrand $(HOST) $(PORT)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
