# Ondrix: `make run` starts the program with the simulated cell, `make test` runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test run bench clean format

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	bash scripts/run.sh $(BUILD)

bench: build
	@for b in $(BUILD)/bench_*; do echo "== $$b"; $$b; done

format:
	@find app instruments acquisition control recording diagnostics numerics common simulator tests bench \
	  -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
