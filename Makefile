# Everyday commands; CMake does the building. The build in build/ reads the bundled word list
# from its own tree, so it runs without being installed.
BUILD := build
JOBS := $(shell nproc 2>/dev/null || echo 2)
IN_TREE_LIST = -DDICTIONARY_DIRECTORY=$(abspath $(1))/share/spell_checker/

.PHONY: all run test sanitize bench clean

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

# Speed and memory of a lookup, against the plain reading; see the README for figures.
bench: all
	$(BUILD)/tests/lookup_perftest

clean:
	rm -rf $(BUILD)
