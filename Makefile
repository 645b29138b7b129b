# varnel: build, test, benchmark and demo on a Debian 12 machine.
#
#   make demo   install what is missing, build, install into .venv, run the
#               five-input census (summary, CSV and plot in build/demo/)
#   make test   the same set-up, then every test: C++ (plain and sanitised), pytest
#   make bench  benchmarks against plain implementations, with the ratios
#   make docs   the documentation (Sphinx), into build/docs/html
#   make fuzz   a bounded libFuzzer run over the decoder and the restriction operations
#   make test-leaks  the Python tests once against a module built with AddressSanitizer
#   make chaindb  regenerate opt5/chains.bin with tools/chaingen (about 40
#                 minutes on two threads; not part of make test)
#
# Every target is idempotent; a second run only rebuilds what changed.

SHELL := /bin/bash
PYTHON := /usr/bin/python3
VENV := .venv
VPY := $(VENV)/bin/python
APT_PACKAGES := build-essential g++ pkg-config meson ninja-build python3-dev python3-venv \
	python3-pip python3-numpy python3-pytest python3-hypothesis python3-mesonpy \
	googletest libgtest-dev binutils python3-sphinx mypy debootstrap berkeley-abc graphviz \
	python3-pandas python3-matplotlib python3-tqdm python3-distributed
# Only for `make fuzz`: clang and its fuzzer runtime.
FUZZ_APT_PACKAGES := clang libclang-rt-14-dev
JOBS ?= $(shell nproc)
# pyright, for the type checks, comes from npm into build/node.
PYRIGHT_VERSION := 1.1.414
NODE_DIR := build/node
PYRIGHT := $(NODE_DIR)/node_modules/.bin/pyright
PYRIGHT_STAMP := $(NODE_DIR)/.pyright-$(PYRIGHT_VERSION)
WHEEL_DIR := build/wheel
TRIXIE_ROOT := build/trixie-root

.PHONY: all deps deps-fuzz venv install wheel demo report docs test test-cpp test-asan \
	test-python test-docs test-typing test-trixie bench chaindb fuzz test-leaks clean

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
	@# npm may come with a nodejs of another origin; Debian's npm only when none is there.
	@command -v npm >/dev/null || { \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends npm; }

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

# The census of every NPN class of five-input functions, weighted to all 2^32
# functions: the summary table, a CSV row per class and the plot.
DEMO := build/demo
demo: install
	mkdir -p $(DEMO)
	time $(VENV)/bin/varnel census npn5 -o $(DEMO)/npn5.csv \
	  --summary $(DEMO)/summary.txt --plot $(DEMO)/npn5.png

report: install
	$(VPY) tools/report.py

# The abi3 wheel (module, type stubs, licence) in build/wheel.
wheel: venv
	rm -rf $(WHEEL_DIR)
	$(VPY) -m pip wheel --no-build-isolation --no-deps --disable-pip-version-check -q \
	  --config-settings=builddir=build/py -w $(WHEEL_DIR) .

# The documentation; its API pages read the type stubs, and warnings are errors.
docs: install
	$(VPY) -m sphinx -W --keep-going -q -b html docs build/docs/html
	@echo "documentation: build/docs/html/index.html"

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

# Every example of the documentation, the README and the stubs' docstrings runs.
test-docs: docs
	cd tests && ../$(VPY) -m pytest -q -p no:cacheprovider docs

$(PYRIGHT_STAMP): | deps
	npm install --prefix $(NODE_DIR) --no-audit --no-fund --loglevel=error \
	  pyright@$(PYRIGHT_VERSION)
	$(PYRIGHT) --version | grep -qF $(PYRIGHT_VERSION)
	touch $@

# The stubs against the module (stubtest) and under mypy --strict and pyright.
test-typing: install $(PYRIGHT_STAMP)
	cd tests && PYRIGHT=$(abspath $(PYRIGHT)) ../$(VPY) -m pytest -q -p no:cacheprovider typing

# The Python tests under Debian 13 (CPython 3.13, NumPy 2) with the wheel built
# here; the Debian 13 root is made once by debootstrap and reused.
test-trixie: wheel
	tests/trixie/run.sh $(TRIXIE_ROOT) $(WHEEL_DIR)/varnel-*.whl tests

test: deps test-cpp test-asan test-python test-docs test-typing test-trixie

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

# Every benchmark runs; the target fails when any of them found a disagreement.
bench: build/bench/build.ninja install
	ninja -C build/bench
	@failed=""; \
	for b in build/bench/bench/bench_*; do \
	  if [ -f "$$b" ] && [ -x "$$b" ]; then "$$b" || failed="$$failed $$b"; fi; \
	done; \
	for b in bench/bench_*.py; do \
	  if [ -f "$$b" ]; then $(VPY) "$$b" || failed="$$failed $$b"; fi; \
	done; \
	if [ -n "$$failed" ]; then echo "benchmarks that failed:$$failed"; exit 1; fi

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
	@# The Debian 13 root may still have /proc mounted after an interrupted run.
	@if mountpoint -q $(TRIXIE_ROOT)/proc 2>/dev/null; then umount $(TRIXIE_ROOT)/proc; fi
	rm -rf build $(VENV)
