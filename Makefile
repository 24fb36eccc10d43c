# Everyday commands; CMake does the building. The build in build/ reads the word list from its
# own tree, so it runs without being installed. Paths are quoted throughout, so the checkout may
# sit in a directory whose name holds spaces. `make help` lists the targets.
#
# This is a makefile for GNU make. On FreeBSD and the other BSDs, whose make is another, install
# GNU make (pkg install gmake) and type gmake where these notes say make: gmake test, gmake run.
# (BSDmakefile, which FreeBSD's make reads first, says so.)
BUILD := build
JOBS := $(shell nproc 2>/dev/null || sysctl -n hw.ncpu 2>/dev/null || echo 2)
# The tests wait on terminals, pipes and time-outs more than they compute: twice as many at once.
TEST_JOBS := $(shell expr 2 \* $(JOBS))
# The file the build in build/ reads as its word list (a copy of it, made at every configure).
WORD_LIST := $(CURDIR)/data/words.txt
# CMake's Makefiles call make again for every target; without this each call announces itself.
MAKEFLAGS += --no-print-directory

# $(call configure,DIR) configures DIR, relative to the checkout, with its tests, so that its
# program reads the copy of the list in DIR/share/spell_checker/; more options may follow.
configure = cmake -S . -B "$(1)" -DBUILD_TESTING=ON \
  -DDICTIONARY_DIRECTORY="$$(pwd)/$(1)/share/spell_checker/" -DWORD_LIST="$(WORD_LIST)"
# $(call quietly,COMMAND,LOG) runs COMMAND with its output kept in LOG ($(BUILD)/make.log if not
# given), shown only when it fails.
quietly = mkdir -p "$(BUILD)" && log="$(or $(2),$(BUILD)/make.log)" && \
          { { $(1); } >"$$log" 2>&1 || { cat "$$log" >&2; exit 1; }; }
# Runs the tests of the build in DIR; the reasons of those skipped follow.
run_tests = cd "$(1)" && ctest -j $(TEST_JOBS) --output-on-failure && \
	cmake -P "$(CURDIR)/cmake/skip_reasons.cmake"

.PHONY: help all program run install uninstall test sanitize cross armhf-without-neon i386 aarch64 fuzz \
        fuzz-aarch64 bench count-aarch64 package clean

help:
	@echo 'Targets (CONTRIBUTING.md says more; doc/PLATFORMS.md, what each needs):'
	@echo '  run             build the program alone and start it on the bundled word list;'
	@echo '                  WORD_LIST=path for another'
	@echo '  test            build and run every test'
	@echo '  install         build for PREFIX (default /usr/local) and install there, under'
	@echo '                  DESTDIR if given'
	@echo '  uninstall       remove what install put there (the same PREFIX and DESTDIR)'
	@echo '  sanitize        the tests again under AddressSanitizer and UBSan'
	@echo '  cross ARCH=...  the program and the tests for Debian architecture ARCH, run under'
	@echo '                  qemu-user: i386, arm64, armhf, armel, ppc64el, s390x, mips64el'
	@echo '                  (i386 runs natively where the CPU can)'
	@echo '  i386, aarch64   cross ARCH=i386, cross ARCH=arm64'
	@echo '  fuzz            every kernel against a plain model under libFuzzer (a minute)'
	@echo '  fuzz-aarch64    the same for the kernels of 64-bit ARM, under qemu'
	@echo '  bench           speed of each kernel, of the whole program and of lines piped in'
	@echo '  count-aarch64   after make aarch64: instructions per byte of the ARM kernels, under'
	@echo '                  qemu (slow: many minutes)'
	@echo '  package         a Debian package in build/package/'
	@echo '  clean           remove build/'

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

# make install builds the program in a directory of its own, for PREFIX, so that it reads the
# list it installs there (PREFIX/share/spell_checker/words.txt), never the copy in build/.
# DESTDIR, if given, is put before every path it writes, as for a package. make uninstall, with
# the same PREFIX and DESTDIR, removes what it wrote.
PREFIX := /usr/local
DESTDIR :=
configure_install = cmake -S . -B "$(BUILD)/install" -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX="$(PREFIX)" -DDICTIONARY_DIRECTORY= -DWORD_LIST="$(WORD_LIST)"
install:
	@$(call quietly,$(configure_install) && \
	  cmake --build "$(BUILD)/install" -j $(JOBS) --target spell_checker)
	DESTDIR="$(DESTDIR)" cmake --install "$(BUILD)/install"

uninstall:
	@$(call quietly,$(configure_install))
	@DESTDIR="$(DESTDIR)" cmake --build "$(BUILD)/install" --target uninstall

test: all
	$(call run_tests,$(BUILD))

# The whole suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	$(call configure,$(BUILD)/sanitize) -DSPELL_CHECKER_SANITIZE=ON
	cmake --build "$(BUILD)/sanitize" -j $(JOBS)
	$(call run_tests,$(BUILD)/sanitize)

# The program and the whole suite for another of Debian's architectures, in $(BUILD)/ARCH: 32-bit
# x86 with g++ -m32, g++-multilib's libraries and the rest of Debian's i386 libraries unpacked
# into $(BUILD)/sysroot/i386; the others with clang and Debian's libraries for them unpacked into
# $(BUILD)/sysroot/ARCH. The tests run under qemu-user, but for i386 where the CPU runs 32-bit
# programs itself.
CROSS_ARCHES := i386 arm64 armhf armel ppc64el s390x mips64el
cross:
	@case " $(CROSS_ARCHES) " in *" $(ARCH) "*) ;; \
	  *) echo "make cross ARCH=...: one of $(CROSS_ARCHES)" >&2; exit 2 ;; esac
	@sh cmake/cross_needs.sh "$(ARCH)"
	@sh cmake/debian_sysroot.sh "$(ARCH)" "$(BUILD)/sysroot/$(ARCH)"
	@if [ "$(ARCH)" = i386 ]; then \
	  $(call configure,$(BUILD)/i386) \
	    -DCMAKE_TOOLCHAIN_FILE="$$(pwd)/cmake/i386-linux-gnu.toolchain.cmake" \
	    -DSPELL_CHECKER_SYSROOT="$$(pwd)/$(BUILD)/sysroot/i386"; \
	else \
	  $(call configure,$(BUILD)/$(ARCH)) \
	    -DCMAKE_TOOLCHAIN_FILE="$$(pwd)/cmake/debian-cross.toolchain.cmake" \
	    -DDEBIAN_ARCH="$(ARCH)" -DSPELL_CHECKER_SYSROOT="$$(pwd)/$(BUILD)/sysroot/$(ARCH)"; \
	fi
	cmake --build "$(BUILD)/$(ARCH)" -j $(JOBS)
	$(call run_tests,$(BUILD)/$(ARCH))
	@if [ "$(ARCH)" = armhf ]; then $(MAKE) armhf-without-neon; fi

# 32-bit ARM chooses its kernel by what the system says of the CPU: qemu's default CPU has NEON,
# and a Cortex-A15 told to have none must fall back on the portable kernel, tested again there.
armhf-without-neon:
	cd "$(BUILD)/armhf" && SPELL_CHECKER_EXPECT_KERNELS="portable neon32" QEMU_CPU=cortex-a15 \
	  ctest --output-on-failure -R 'LookupWord.KernelsForThisCpu'
	cd "$(BUILD)/armhf" && SPELL_CHECKER_EXPECT_KERNELS=portable QEMU_CPU=cortex-a15,neon=off \
	  ctest -j $(TEST_JOBS) --output-on-failure -R 'LookupWord|ScanSteps|LookupProperty|Piped'

i386:
	@$(MAKE) cross ARCH=i386

aarch64:
	@$(MAKE) cross ARCH=arm64

# Every search kernel against the plain model under libFuzzer, from the seeds in tests/fuzz/corpus;
# a line of summary, or the whole log when a kernel and the model differ. The fuzzer's scratch
# file lives in the build directory, and is removed as it ends.
# $(call fuzz_in,DIR,RUN,OPTIONS) builds the fuzzer in DIR with the configure OPTIONS and runs it
# with the command RUN before it.
FUZZ_SECONDS := 60
fuzz_in = $(call quietly,CXX=clang++ $(call configure,$(1)) -DSPELL_CHECKER_FUZZ=ON $(3) && \
	cmake --build "$(1)" -j $(JOBS) --target lookup_fuzzer) && \
	mkdir -p "$(1)/corpus" && \
	$(call quietly,TMPDIR="$(1)" $(2) "$(1)/tests/lookup_fuzzer" -max_total_time=$(FUZZ_SECONDS) \
	  -max_len=4096 -artifact_prefix="$(1)/" "$(1)/corpus" tests/fuzz/corpus,$(1)/fuzz.log) && \
	echo "fuzz: $$(grep -h '^Done' "$(1)/fuzz.log"), every kernel as the model"
fuzz:
	@$(call fuzz_in,$(BUILD)/fuzz)

# The same for the kernels of 64-bit ARM, under qemu-aarch64, whose threads the leak checker
# cannot stop and so cannot run with.
fuzz-aarch64:
	@sh cmake/debian_sysroot.sh arm64 "$(BUILD)/sysroot/arm64"
	@$(call fuzz_in,$(BUILD)/fuzz-aarch64,ASAN_OPTIONS=detect_leaks=0 \
	  QEMU_LD_PREFIX="$(BUILD)/sysroot/arm64" qemu-aarch64,\
	  -DCMAKE_TOOLCHAIN_FILE="$$(pwd)/cmake/debian-cross.toolchain.cmake" -DDEBIAN_ARCH=arm64 \
	  -DSPELL_CHECKER_SYSROOT="$$(pwd)/$(BUILD)/sysroot/arm64")

# Speed of a lookup for the floor, the plain reading and every kernel (Google Benchmark, CPU time,
# rows interleaved, medians of repetitions) and its peak memory; then the whole program, built
# for each way of choosing a kernel, against the floor. doc/SPEED.md has figures. Debian's
# Google Benchmark warns that it was built for debugging: its own loop, which the figures leave
# out (they are the CPU time of the lookups, taken around them), is what that slows.
bench: all
	@test -x "$(BUILD)/tests/lookup_perftest" || \
	  { echo "make bench needs Google Benchmark (Debian package libbenchmark-dev)" >&2; exit 1; }
	"$(BUILD)/tests/lookup_perftest" bench/typed_lines.txt 2>&1 | grep -v 'built as DEBUG'
	sh bench/process_bench.sh "$(BUILD)"

# Instructions per byte of the list for the kernels of 64-bit ARM, which cannot be timed here,
# counted under qemu-aarch64 after make aarch64. About fifteen minutes.
count-aarch64:
	QEMU_LD_PREFIX="$(BUILD)/sysroot/arm64" \
	  sh bench/count_instructions.sh "$(BUILD)/arm64" qemu-aarch64 neon portable

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
