# make run  : install what is missing, build, start the desktop tool
# make test : install what is missing, build with sanitizers, run every test
# make demo : the desktop tool against a simulated module on a pseudo-terminal
# make package : the Debian package korvel-kv6_<version>_<arch>.deb, here
# make fuzz : the libFuzzer targets, FUZZ_SECONDS each (default 60)
# make bench: times full transfers against the simulated module in both pacings
# make bench-fleet: kv6d against many simulated modules (needs kv6sim --modules)
# make bench-cluster: the same burst through HAProxy to 1-3 kv6d on PostgreSQL
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
RUN_DIR := build/run
TEST_DIR := build/test

.PHONY: run test demo package fuzz bench bench-fleet bench-cluster deps build build-app build-test clean

deps:
	@scripts/install-deps

$(RUN_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(RUN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV6_BUILD_TESTS=OFF

build: deps $(RUN_DIR)/CMakeCache.txt
	cmake --build $(RUN_DIR) -j $(JOBS)

# Only the desktop tool and what it links, not kv6ctl, kv6sim or the man pages.
build-app: deps $(RUN_DIR)/CMakeCache.txt
	cmake --build $(RUN_DIR) -j $(JOBS) --target korvel-kv6

run: build-app
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ] && [ -z "$$QT_QPA_PLATFORM" ]; then \
	  echo "No display found: run it under a virtual one with 'xvfb-run make run'."; exit 1; fi
	cd $(RUN_DIR)/src/app && ./korvel-kv6

$(TEST_DIR)/CMakeCache.txt: | deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV6_SANITIZE=ON -DKV6_BUILD_TESTS=ON

build-test: deps $(TEST_DIR)/CMakeCache.txt
	cmake --build $(TEST_DIR) -j $(JOBS)

test: build-test
	cd $(TEST_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

demo: build-app
	cmake --build $(RUN_DIR) -j $(JOBS) --target kv6sim
	scripts/demo $(RUN_DIR)

# Packs the run build (stripped); the .deb lands in this folder.
package: build
	rm -f $(RUN_DIR)/korvel-kv6_*.deb
	cd $(RUN_DIR) && cpack -G DEB
	cp $(RUN_DIR)/korvel-kv6_*.deb .

fuzz:
	JOBS=$(JOBS) scripts/fuzz

# A benchmark, not a test: it prints a table and fails nothing.
bench: build
	$(RUN_DIR)/tools/kv6bench/kv6bench

# Also a benchmark: kv6d with 1, 1000 and 5000 simulated modules; prints a table.
bench-fleet: build
	scripts/bench-fleet $(RUN_DIR)
	scripts/bench-api $(RUN_DIR)

# Also a benchmark: one table, PostgreSQL with 1, 2 and 3 servers and SQLite with one.
bench-cluster: build
	scripts/bench-cluster $(RUN_DIR)

clean:
	rm -rf build
