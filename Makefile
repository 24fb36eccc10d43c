# Everyday commands; CMake does the building. The build in build/ reads the bundled word list
# from its own tree, so it runs without being installed. Paths are quoted throughout, so the
# checkout may sit in a directory whose name holds spaces.
#
# This is a makefile for GNU make. On FreeBSD and the other BSDs, whose make is another, install
# GNU make (pkg install gmake) and type gmake where these notes say make: gmake test, gmake run.
BUILD := build
JOBS := $(shell nproc 2>/dev/null || sysctl -n hw.ncpu 2>/dev/null || echo 2)
# CMake's Makefiles call make again for every target; without this each call announces itself.
MAKEFLAGS += --no-print-directory

# $(call configure,DIR) configures DIR, relative to the checkout, so that its program reads the
# copy of the list in DIR/share/spell_checker/; more options may follow the call.
configure = cmake -S . -B "$(1)" -DDICTIONARY_DIRECTORY="$$(pwd)/$(1)/share/spell_checker/"
# $(call quietly,COMMAND) runs COMMAND with its output kept in $(BUILD)/make.log, shown only
# when it fails.
quietly = mkdir -p "$(BUILD)" && { $(1); } >"$(BUILD)/make.log" 2>&1 || \
          { cat "$(BUILD)/make.log" >&2; exit 1; }

.PHONY: all program run test sanitize i386 aarch64 fuzz fuzz-aarch64 bench count-aarch64 package \
        clean

all:
	$(call configure,$(BUILD))
	cmake --build "$(BUILD)" -j $(JOBS)

# Only the program, quietly: the first build of a fresh clone shows one line.
program:
	@test -x "$(BUILD)/spell_checker" || echo "Building $(BUILD)/spell_checker ..."
	@$(call quietly,$(call configure,$(BUILD)) && \
	  cmake --build "$(BUILD)" -j $(JOBS) --target spell_checker run_as_job)

# The program runs as a job of its own (tools/run_as_job.cc): else Ctrl-C, meant for the program,
# would reach make too, which would die of it after the farewell, with status 130 and at times a
# complaint. Ctrl-Z stops make with the program, and fg brings both back, as for any job.
run: program
	@exec "$(BUILD)/run_as_job" "$(BUILD)/spell_checker"

test: all
	cd "$(BUILD)" && ctest -j $(JOBS) --output-on-failure

# The whole suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	$(call configure,$(BUILD)/sanitize) -DSPELL_CHECKER_SANITIZE=ON
	cmake --build "$(BUILD)/sanitize" -j $(JOBS)
	cd "$(BUILD)/sanitize" && ctest -j $(JOBS) --output-on-failure

# $(call cross,ARCH) builds the program and the whole suite in $(BUILD)/ARCH with the toolchain
# cmake/ARCH-linux-gnu.toolchain.cmake, and runs the suite under the toolchain's emulator.
cross = $(call configure,$(BUILD)/$(1)) \
	  -DCMAKE_TOOLCHAIN_FILE="$$(pwd)/cmake/$(1)-linux-gnu.toolchain.cmake" && \
	cmake --build "$(BUILD)/$(1)" -j $(JOBS) && \
	cd "$(BUILD)/$(1)" && ctest -j $(JOBS) --output-on-failure

# 32-bit x86 under qemu-i386, as on the reference platform's word size.
i386:
	$(call cross,i386)

# 64-bit ARM under qemu-aarch64, built with clang.
aarch64:
	$(call cross,aarch64)

# Every search kernel against the plain model under libFuzzer, from the seeds in tests/fuzz/corpus.
# $(call fuzz_in,DIR,RUN,OPTIONS) builds the fuzzer in DIR with the configure OPTIONS and runs it
# with the command RUN before it.
FUZZ_SECONDS := 60
fuzz_in = CXX=clang++ $(call configure,$(1)) -DSPELL_CHECKER_FUZZ=ON $(3) && \
	cmake --build "$(1)" -j $(JOBS) --target lookup_fuzzer && \
	mkdir -p "$(1)/corpus" && \
	$(2) "$(1)/tests/lookup_fuzzer" -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	  -artifact_prefix="$(1)/" "$(1)/corpus" tests/fuzz/corpus
fuzz:
	$(call fuzz_in,$(BUILD)/fuzz)

# The same for the kernels of 64-bit ARM, under qemu-aarch64, whose threads the leak checker
# cannot stop and so cannot run with.
fuzz-aarch64:
	$(call fuzz_in,$(BUILD)/fuzz-aarch64,ASAN_OPTIONS=detect_leaks=0 qemu-aarch64,\
	  -DCMAKE_TOOLCHAIN_FILE="$$(pwd)/cmake/aarch64-linux-gnu.toolchain.cmake")

# Speed of a lookup for the floor, the plain reading and every kernel (Google Benchmark, CPU time,
# rows interleaved, medians of repetitions) and its peak memory; then the whole program, built
# for each way of choosing a kernel, against the floor. See the README for figures.
bench: all
	@test -x "$(BUILD)/tests/lookup_perftest" || \
	  { echo "make bench needs Google Benchmark (Debian package libbenchmark-dev)" >&2; exit 1; }
	"$(BUILD)/tests/lookup_perftest" bench/typed_lines.txt
	sh bench/process_bench.sh "$(BUILD)"

# Instructions per byte of the list for the kernels of 64-bit ARM, which cannot be timed here,
# counted under qemu-aarch64 after make aarch64. Some minutes.
count-aarch64:
	sh bench/count_instructions.sh "$(BUILD)/aarch64" qemu-aarch64 neon portable

# A Debian package (.deb in build/package/) of an install into /usr, built as Debian builds
# packages: with the compiler and linker flags of dpkg-buildflags, all hardening on, and every
# time stamp that of the last commit, so that two builds of a commit give the same bytes. CPack
# makes the package's directories with the umask's modes; 022 gives them Debian's 0755 whatever
# the umask of the one who builds.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || \
                       dpkg-parsechangelog -l packaging/changelog -S Timestamp)
package:
	cmake -S . -B "$(BUILD)/package" -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=None \
	  -DBUILD_TESTING=OFF -DSPELL_CHECKER_DEBIAN_PACKAGE=ON \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)"
	cmake --build "$(BUILD)/package" -j $(JOBS)
	cd "$(BUILD)/package" && umask 022 && SOURCE_DATE_EPOCH=$(SOURCE_DATE_EPOCH) cpack

clean:
	rm -rf "$(BUILD)"
