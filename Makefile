# The front door. `make` builds the four programs; `make test` installs what the tests need,
# builds and runs the whole suite; `make demo` runs a tour of the tool on a new embedded
# database; `make install PREFIX=...` installs, `make package` builds the Debian package.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
PROGRAMS = volmek volmek-plus volmek-exp volmek-imp

# What building the programs needs; each target below adds only what it uses itself.
BUILD_APT_PACKAGES = cmake g++ make pkg-config libsqlite3-dev libsodium-dev libfmt-dev libicu-dev
# The suite: GoogleTest, GnuCOBOL (the copybook layouts are checked against cobc), node and
# the T-SQL parser (genera's DDL), mandoc (the manual pages), dpkg-dev (the package test's
# dpkg-shlibdeps), bsdutils (script, the progress test's pseudo-terminal).
TEST_APT_PACKAGES = $(BUILD_APT_PACKAGES) libgtest-dev libgmock-dev gnucobol3 nodejs npm mandoc \
                    dpkg-dev bsdutils
PACKAGE_APT_PACKAGES = $(BUILD_APT_PACKAGES) dpkg-dev
# The bench compares with the sqlite3 shell and with PostgreSQL's COPY (a private cluster).
BENCH_APT_PACKAGES = $(BUILD_APT_PACKAGES) libbenchmark-dev sqlite3 postgresql time
MEMCHECK_APT_PACKAGES = $(TEST_APT_PACKAGES) valgrind
NODE_PACKAGES = tests/js/node_modules/node-sql-parser

.PHONY: all build build-all configure-tests test demo bench fuzz fuzz-ci memcheck sanitize \
        install package format deps clean

all: build

deps:
	@scripts/install-deps.sh $(TEST_APT_PACKAGES)

# A new build tree (its first configure installs what building needs) builds no tests until
# `make test` (or another target that runs them) turns them on; they stay on after that.
$(BUILD)/CMakeCache.txt:
	@scripts/install-deps.sh $(BUILD_APT_PACKAGES)
	cmake -S . -B $(BUILD) -DBUILD_TESTING=OFF $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target $(PROGRAMS)

build-all: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

configure-tests:
	cmake -S . -B $(BUILD) -DBUILD_TESTING=ON $(CMAKE_FLAGS)

test: deps
	@$(MAKE) --no-print-directory configure-tests build-all
	@scripts/install-node-deps.sh
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900

demo:
	@scripts/install-deps.sh $(BUILD_APT_PACKAGES)
	@$(MAKE) --no-print-directory build
	@scripts/demo.sh $(BUILD)

install:
	@scripts/install-deps.sh $(BUILD_APT_PACKAGES)
	@$(MAKE) --no-print-directory build
	cmake --build $(BUILD) --target volmek_man
	cmake --install $(BUILD) --prefix $(PREFIX)

package:
	@scripts/install-deps.sh $(PACKAGE_APT_PACKAGES)
	@$(MAKE) --no-print-directory build
	cmake --build $(BUILD) --target volmek_man
	cd $(BUILD) && cpack -G DEB

bench:
	@scripts/install-deps.sh $(BENCH_APT_PACKAGES)
	@$(MAKE) --no-print-directory build-all BUILD=build-release CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Release"
	@scripts/bench.sh build-release

sanitize: deps
	cmake -S . -B build-asan -DBUILD_TESTING=ON -DVOLMEK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1"
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS) --timeout 1200

# `make fuzz`: the libFuzzer targets under ASan and UBSan, each over its seeds and then for
# FUZZ_SECONDS on new inputs. `make fuzz-ci`: the same unoptimised (it compiles several times
# faster, which is most of its time) for FUZZ_CI_SECONDS each, in its own build directory.
FUZZ_APT_PACKAGES = cmake make pkg-config libsqlite3-dev libsodium-dev libfmt-dev libicu-dev libgtest-dev \
                    clang-19 libclang-rt-19-dev
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_OPT ?= -O1 -gline-tables-only
FUZZ_CI_SECONDS ?= 10
# The GCC builds hold the code to no warnings; clang's own warnings are shown here, not fatal.
FUZZ_WERROR ?= OFF

fuzz:
	@scripts/install-deps.sh $(FUZZ_APT_PACKAGES)
	CC=clang-19 CXX=clang++-19 cmake -S . -B $(FUZZ_BUILD) -DVOLMEK_FUZZ=ON -DBUILD_TESTING=OFF -DVOLMEK_WERROR=$(FUZZ_WERROR) \
	  -DCMAKE_BUILD_TYPE=Fuzz -DCMAKE_CXX_FLAGS_FUZZ="$(FUZZ_OPT)" -DCMAKE_C_FLAGS_FUZZ="$(FUZZ_OPT)"
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target volmek_fuzzers
	@scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

fuzz-ci:
	@$(MAKE) --no-print-directory fuzz FUZZ_BUILD=build-fuzzci FUZZ_OPT="-O0 -gline-tables-only" \
	  FUZZ_SECONDS=$(FUZZ_CI_SECONDS)

memcheck:
	@scripts/install-deps.sh $(MEMCHECK_APT_PACKAGES)
	@$(MAKE) --no-print-directory configure-tests build-all
	@scripts/memcheck.sh $(BUILD)

format:
	git ls-files '*.cc' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-release build-fuzz build-fuzzci
