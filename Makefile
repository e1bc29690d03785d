# Entry points: make run, make test, make demo, make fuzz, make bench, make bench-e2e.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan
FUZZ_BUILD := build-fuzz

# Everything the build and the tests need, as Debian packages.
PACKAGES := build-essential cmake g++ libgtest-dev libgmock-dev googletest libbenchmark-dev \
            libssl-dev python3 qt6-base-dev fonts-liberation2 xvfb xauth dovecot-core dovecot-pop3d \
            postfix
# Only the fuzz targets need clang with its libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES := clang libclang-rt-14-dev

.PHONY: all deps configure build test unit-test asan-test run demo fuzz bench bench-e2e clean

all: build

deps:
	@missing=""; for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
	  echo "postfix postfix/main_mailer_type select No configuration" | $$SUDO debconf-set-selections; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

unit-test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

asan-test: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DMAILFERRY_SANITIZE=ON -DMAILFERRY_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 900

test: unit-test asan-test

run: build
	@if [ -x $(BUILD)/src/mailferry ] && [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/src/mailferry; \
	elif [ -x $(BUILD)/src/mailferry ]; then \
	  echo "No desktop session (DISPLAY and WAYLAND_DISPLAY are unset): the desktop program needs one."; \
	  echo "Showing the settings with mailferryctl show instead; see mailferryctl --help."; \
	  $(BUILD)/src/mailferryctl show; \
	else \
	  echo "The desktop program is not built (Qt 6 Widgets missing); showing the settings with mailferryctl show instead."; \
	  $(BUILD)/src/mailferryctl show; \
	fi

# One scan against private Dovecot and Postfix instances under /tmp (needs root).
demo: build
	bash scripts/demo.sh $(BUILD)/src/mailferryctl

fuzz: EXTRA_PACKAGES := $(FUZZ_PACKAGES)
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMAILFERRY_FUZZ=ON -DMAILFERRY_UI=OFF -DMAILFERRY_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@echo "Fuzz targets are in $(FUZZ_BUILD)/tests/fuzz/; run one with: <target> -max_total_time=60"

bench: build
	@for b in $(BUILD)/bench/*_bench; do [ -x "$$b" ] && "$$b"; done; true

# Whole-run forwarding throughput of Mailferry, fetchmail and the floor over the same servers.
# fetchmail is installed for this only.
bench-e2e: EXTRA_PACKAGES := fetchmail
bench-e2e: build
	python3 bench/e2e_throughput.py --build $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
