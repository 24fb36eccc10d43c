# Everyday commands; CMake does the building. The build in build/ reads the bundled word list
# from its own tree, so it runs without being installed.
BUILD := build
JOBS := $(shell nproc 2>/dev/null || echo 2)
IN_TREE_LIST = -DDICTIONARY_DIRECTORY=$(abspath $(1))/share/spell_checker/

.PHONY: all run test sanitize i386 fuzz bench package clean

all:
	cmake -S . -B $(BUILD) $(call IN_TREE_LIST,$(BUILD))
	cmake --build $(BUILD) -j $(JOBS)

run: all
	$(BUILD)/spell_checker

test: all
	cd $(BUILD) && ctest -j $(JOBS) --output-on-failure

# The whole suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	cmake -S . -B $(BUILD)/sanitize -DSPELL_CHECKER_SANITIZE=ON $(call IN_TREE_LIST,$(BUILD)/sanitize)
	cmake --build $(BUILD)/sanitize -j $(JOBS)
	cd $(BUILD)/sanitize && ctest -j $(JOBS) --output-on-failure

# The program and the whole suite built for 32-bit x86 and run under user-mode emulation
# (qemu-i386), as on the reference platform's word size.
i386:
	cmake -S . -B $(BUILD)/i386 -DCMAKE_TOOLCHAIN_FILE="$(CURDIR)/cmake/i386-linux-gnu.toolchain.cmake" $(call IN_TREE_LIST,$(BUILD)/i386)
	cmake --build $(BUILD)/i386 -j $(JOBS)
	cd $(BUILD)/i386 && ctest -j $(JOBS) --output-on-failure

# Every search kernel against the plain model under libFuzzer, from the seeds in tests/fuzz/corpus.
FUZZ_SECONDS := 60
fuzz:
	CXX=clang++ cmake -S . -B $(BUILD)/fuzz -DSPELL_CHECKER_FUZZ=ON $(call IN_TREE_LIST,$(BUILD)/fuzz)
	cmake --build $(BUILD)/fuzz -j $(JOBS) --target lookup_fuzzer
	mkdir -p $(BUILD)/fuzz/corpus
	$(BUILD)/fuzz/tests/lookup_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	  -artifact_prefix=$(BUILD)/fuzz/ \
	  $(BUILD)/fuzz/corpus tests/fuzz/corpus

# Speed of a lookup for the floor, the plain reading and every kernel (Google Benchmark, CPU time,
# medians of repetitions), then its peak memory; see the README for figures.
bench: all
	$(BUILD)/tests/lookup_perftest

# A Debian package (.deb in build/package/) of an install into /usr.
package:
	cmake -S . -B $(BUILD)/package -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build $(BUILD)/package -j $(JOBS)
	cd $(BUILD)/package && cpack

clean:
	rm -rf $(BUILD)
