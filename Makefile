# varnel: build, test, benchmark and demo on a Debian 12 machine.
#
#   make demo   install what is missing, build, install into .venv, run the report
#   make test   the same set-up, then every test: C++ (plain and sanitised), pytest
#   make bench  benchmarks against plain implementations, with the ratios
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
	googletest libgtest-dev binutils
JOBS ?= $(shell nproc)

.PHONY: all deps venv install demo test test-cpp test-asan test-python bench chaindb clean

all: install

# Install the Debian packages that are missing (nothing is fetched otherwise).
deps:
	@missing=$$(for p in $(APT_PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

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
