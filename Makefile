# The front door. `make` builds build/volmek; `make test` installs what is missing, builds and
# runs the whole suite; `make demo` runs a tour of the tool on a new embedded database.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

APT_PACKAGES = cmake g++ make pkg-config libsqlite3-dev sqlite3 libsodium-dev libfmt-dev \
               libgtest-dev libgmock-dev libbenchmark-dev gnucobol3 clang nodejs npm python3 \
               valgrind
NODE_PACKAGES = tests/js/node_modules/node-sql-parser

.PHONY: all build test demo bench fuzz fuzz-ci memcheck sanitize format deps clean

all: build

deps:
	@scripts/install-deps.sh $(APT_PACKAGES)

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	@$(MAKE) --no-print-directory build
	@scripts/install-node-deps.sh
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900

demo: deps
	@$(MAKE) --no-print-directory build
	@scripts/demo.sh $(BUILD)

# The bench compares with the sqlite3 shell and with PostgreSQL's COPY (a private cluster).
BENCH_APT_PACKAGES = postgresql time

bench: deps
	@scripts/install-deps.sh $(BENCH_APT_PACKAGES)
	@$(MAKE) --no-print-directory build BUILD=build-release CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Release"
	@scripts/bench.sh build-release

sanitize: deps
	cmake -S . -B build-asan -DVOLMEK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1"
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS) --timeout 1200

# `make fuzz`: the libFuzzer targets under ASan and UBSan, each over its seeds and then for
# FUZZ_SECONDS on new inputs. `make fuzz-ci`: the same unoptimised (it compiles several times
# faster, which is most of its time) for FUZZ_CI_SECONDS each, in its own build directory.
FUZZ_APT_PACKAGES = cmake make pkg-config libsqlite3-dev libsodium-dev libfmt-dev libgtest-dev \
                    clang-19 libclang-rt-19-dev
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_OPT ?= -O1 -gline-tables-only
FUZZ_CI_SECONDS ?= 10
# The GCC builds hold the code to no warnings; clang's own warnings are shown here, not fatal.
FUZZ_WERROR ?= OFF

fuzz:
	@scripts/install-deps.sh $(FUZZ_APT_PACKAGES)
	CC=clang-19 CXX=clang++-19 cmake -S . -B $(FUZZ_BUILD) -DVOLMEK_FUZZ=ON -DVOLMEK_WERROR=$(FUZZ_WERROR) \
	  -DCMAKE_BUILD_TYPE=Fuzz -DCMAKE_CXX_FLAGS_FUZZ="$(FUZZ_OPT)" -DCMAKE_C_FLAGS_FUZZ="$(FUZZ_OPT)"
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target volmek_fuzzers
	@scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-ci:
	@$(MAKE) --no-print-directory fuzz FUZZ_BUILD=build-fuzzci FUZZ_OPT="-O0 -gline-tables-only" \
	  FUZZ_SECONDS=$(FUZZ_CI_SECONDS)

memcheck: deps
	@$(MAKE) --no-print-directory build
	@scripts/memcheck.sh $(BUILD)

format:
	git ls-files '*.cc' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-release build-fuzz build-fuzzci
