# varnel: build, test, benchmark and demo on a Debian 12 machine.
#
#   make demo   install what is missing, build, install into .venv, run the report
#   make test   the same set-up, then every test: C++ (plain and sanitised), pytest
#   make bench  benchmarks against plain implementations, with the ratios
#   make fuzz   a bounded libFuzzer run over the decoder and the restriction operations
#   make test-leaks  the Python tests once against a module built with AddressSanitizer
#
# Every target is idempotent; a second run only rebuilds what changed.

SHELL := /bin/bash
PYTHON := /usr/bin/python3
VENV := .venv
VPY := $(VENV)/bin/python
APT_PACKAGES := build-essential g++ pkg-config meson ninja-build python3-dev python3-venv \
	python3-pip python3-numpy python3-pytest python3-hypothesis python3-mesonpy \
	googletest libgtest-dev binutils
# Only for `make fuzz`: clang and its fuzzer runtime.
FUZZ_APT_PACKAGES := clang libclang-rt-14-dev
JOBS ?= $(shell nproc)

.PHONY: all deps deps-fuzz venv install demo test test-cpp test-asan test-python bench chaindb \
	fuzz test-leaks clean

all: install

# Installs the Debian packages of the list $(1) that are missing (nothing is
# fetched otherwise).
define install_missing
	@missing=$$(for p in $(1); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(APT_PACKAGES))

deps-fuzz: deps
	$(call install_missing,$(FUZZ_APT_PACKAGES))

$(VPY): | deps
	$(PYTHON) -m venv --system-site-packages $(VENV)

venv: deps $(VPY)

# Builds in build/py and installs the module into the virtual environment.
install: venv
	mkdir -p build
	$(VPY) -m pip install --no-build-isolation --no-deps --disable-pip-version-check -q \
	  --config-settings=builddir=build/py .

demo: install
	$(VPY) tools/report.py

# The chain database is found at configure time: a build directory configured
# before opt5/chains.bin arrived (or changed) is reconfigured.
CHAINS := $(wildcard opt5/chains.bin)
reconf = $(if $(wildcard $(1)/build.ninja),--reconfigure)

build/cpp/build.ninja: $(CHAINS) | deps
	meson setup $(call reconf,build/cpp) build/cpp -Dmodule=false -Dtests=true -Dbuildtype=debugoptimized

build/asan/build.ninja: $(CHAINS) | deps
	meson setup $(call reconf,build/asan) build/asan -Dmodule=false -Dtests=true -Dbuildtype=debug \
	  -Db_sanitize=address,undefined -Db_lundef=false

test-cpp: build/cpp/build.ninja
	meson test -C build/cpp --print-errorlogs --num-processes $(JOBS)

test-asan: build/asan/build.ninja
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  meson test -C build/asan --print-errorlogs --num-processes $(JOBS) --timeout-multiplier 4

test-python: install
	cd tests/python && ../../$(VPY) -m pytest -q

test: deps test-cpp test-asan test-python

# A bounded fuzzing run (FUZZ_SECONDS, default 60) of the decoder and the
# restriction operations, built by clang with AddressSanitizer and UBSan. The
# corpus grows in build/fuzz-corpus, seeded from tests/fuzz/corpus.
FUZZ_SECONDS ?= 60
build/fuzz/build.ninja: $(CHAINS) | deps-fuzz
	CXX=clang++ meson setup $(call reconf,build/fuzz) build/fuzz -Dmodule=false -Dfuzz=true \
	  -Dbuildtype=debugoptimized -Db_sanitize=address,undefined -Db_lundef=false

fuzz: build/fuzz/build.ninja
	ninja -C build/fuzz tests/fuzz/fuzz_decode_restrict
	mkdir -p build/fuzz-corpus
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  build/fuzz/tests/fuzz/fuzz_decode_restrict -max_total_time=$(FUZZ_SECONDS) -max_len=1100 \
	  -print_final_stats=1 build/fuzz-corpus tests/fuzz/corpus

# The Python tests once against a module built with AddressSanitizer, leak
# detection on (the interpreter's own allocations at exit are not ours: only
# leaks with a frame in our sources count, see tests/leaks/check_leaks.py). The
# tests that set address-space limits cannot run under the sanitizer. The C++
# runtime is preloaded with the sanitizer so that it can intercept exceptions.
build/leaks/build.ninja: $(CHAINS) | venv
	meson setup $(call reconf,build/leaks) build/leaks -Dbuildtype=debug -Db_sanitize=address \
	  -Db_lundef=false

test-leaks: build/leaks/build.ninja
	ninja -C build/leaks
	rm -rf build/leaks/lsan && mkdir -p build/leaks/lsan
	cd tests/python && PYTHONPATH=$(CURDIR)/build/leaks/varnel-py PYTHONMALLOC=malloc \
	  LD_PRELOAD="$$(gcc -print-file-name=libasan.so) $$(gcc -print-file-name=libstdc++.so)" \
	  ASAN_OPTIONS=detect_leaks=1:log_path=$(CURDIR)/build/leaks/lsan/report LSAN_OPTIONS=exitcode=0 \
	  $(PYTHON) -m pytest -q -p no:cacheprovider -k "not address_space and not cannot_start"
	$(PYTHON) tests/leaks/check_leaks.py build/leaks/lsan

build/bench/build.ninja: $(CHAINS) | deps
	meson setup $(call reconf,build/bench) build/bench -Dmodule=false -Dbench=true -Dbuildtype=release

bench: build/bench/build.ninja install
	ninja -C build/bench
	@for b in build/bench/bench/bench_*; do if [ -f "$$b" ] && [ -x "$$b" ]; then "$$b"; fi; done
	@for b in bench/bench_*.py; do [ -f "$$b" ] && $(VPY) "$$b"; done

# The chain database: generated here (about 40 minutes on two threads, about
# 4 GiB at its peak), checkpointed per level in build/chaingen-work so a
# stopped run resumes.
build/tools/build.ninja: | deps
	meson setup build/tools -Dmodule=false -Dtools=true -Dbuildtype=release

chaindb: build/tools/build.ninja
	ninja -C build/tools tools/chaingen/chaingen
	mkdir -p build/chaingen-work
	build/tools/tools/chaingen/chaingen build/chaingen-work --out opt5/chains.bin
	cd opt5 && sha256sum chains.bin > chains.bin.sha256

clean:
	rm -rf build $(VENV)
