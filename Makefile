# Two set-up commands on a fresh Debian machine (as root):
#   make serve   install what is missing, build, start the web host on the demo database
#   make test    install what is missing, build, run every test (also under ASan/UBSan)

BUILD       ?= build
SAN_BUILD   ?= build-san
JOBS        ?= $(shell nproc)
HOST        ?= 127.0.0.1
PORT        ?= 8080

.PHONY: all deps configure build build-san test test-san bench bench-store bench-web serve clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

build-san: deps
	@cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DOSTRAND_SANITIZE=ON -DOSTRAND_BENCH=OFF >/dev/null
	@cmake --build $(SAN_BUILD) -j$(JOBS)

# Every test: the optimised build first (unit, command line, web host and
# browser tests), then the unit and integration tests again under the
# sanitizers.
test: build build-san
	@ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j$(JOBS) -LE browser

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

# The leader month of 1,000 persons against the store's floor, on SQLite and
# on a throwaway PostgreSQL (started and stopped by the script).
bench-store: build
	@scripts/bench-store $(BUILD)

# The web host against nginx serving the same bytes (bench/bench-web): takes
# about two minutes and prints each page's figures and the soak's memory.
bench-web: configure
	@cmake --build $(BUILD) -j$(JOBS) --target ostrand
	@bench/bench-web $(BUILD)/apps/ostrand/ostrand

# Builds only the executable (not the tests and benchmarks), then starts it.
serve: configure
	@cmake --build $(BUILD) -j$(JOBS) --target ostrand
	@scripts/serve $(BUILD)/apps/ostrand/ostrand $(HOST) $(PORT)

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
