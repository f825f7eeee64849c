# Ondrix: `make run` starts the program with the simulated cell, `make test` runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test run bench clean format check-sanitize check-tsan

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The test suite built with AddressSanitizer and UndefinedBehaviorSanitizer, in its own folder.
# Reports from inside Qt and the system libraries it loads are suppressed by the files in
# tests/sanitize/; every report from the program's own code fails the run.
SANITIZE_BUILD ?= build-asan
SANITIZE_FLAGS = -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:strict_init_order=1:detect_stack_use_after_return=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/ubsan.supp:print_stacktrace=1:halt_on_error=1

check-sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 $(SANITIZE_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(SANITIZE_FLAGS)" >/dev/null
	@$(SANITIZE_ENV) cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The tests of the threads and the web monitor built with ThreadSanitizer, in their own folder; too
# slow for CI, run by hand. Qt and the system libraries are not built with it: what they do inside
# is not checked (ignore_noninstrumented_modules), and the hand-overs through Qt that it cannot see
# are listed in tests/sanitize/tsan.supp; any other report fails the run.
TSAN_BUILD ?= build-tsan
TSAN_FLAGS = -fsanitize=thread -fno-omit-frame-pointer
TSAN_TESTS = test_monitor test_control test_acquisition test_instruments
TSAN_ENV = TSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/tsan.supp:ignore_noninstrumented_modules=1:exitcode=66

check-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 $(TSAN_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(TSAN_FLAGS)" >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS)
	@for t in $(TSAN_TESTS); do echo "== $$t"; \
	  $(TSAN_ENV) QT_QPA_PLATFORM=offscreen $(TSAN_BUILD)/$$t || exit 1; done

run: build
	bash scripts/run.sh $(BUILD)

bench: build
	@for b in $(BUILD)/bench_*; do echo "== $$b"; $$b; done

format:
	@find app experiment instruments acquisition control recording diagnostics numerics common simulator tests bench \
	  -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
