# Set-up, build, demo and tests. `make demo`, `make test` and `make check` install what is missing
# for them first (scripts/setup.sh demo|test|check); `make build` only builds (run `make setup`
# once on a new machine for everything).
JOBS ?= $(shell nproc)
# Tests at once in `make test`: two more than the cores, for the two X sessions that run at a
# time (tests/test_resources.json), which wait on their displays for part of theirs.
TEST_JOBS ?= $(shell echo $$(( $$(nproc) + 2 )))
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
PORTABLE_BUILD ?= build-portable
WIN_BUILD ?= build-win
# The Windows programs (cross-compiled with MinGW-w64).
WIN_TARGETS = kinevista kinevista-cli kinevista-host kinevista_plugin
# The core's test programs, run again on the portable kernels.
CORE_TESTS = core_base_tests core_picture_tests core_show_tests core_render_tests \
             core_document_tests
SOURCES = git ls-files '*.cpp' '*.h' '*.c'
# New build folders use Ninja when it is installed: it keeps both cores busy across the whole
# tree where make's directory recursion leaves gaps. The set-up installs it, so the check is
# made as each command runs; a folder already configured keeps the generator it was made with.
export CMAKE_GENERATOR ?= $(if $(shell command -v ninja 2>/dev/null),Ninja)

.PHONY: setup setup-demo setup-test setup-check build programs build-asan windows demo test check \
        test-fast test-windows test-windows-editor test-asan \
        test-tsan test-portable test-fuzz \
        format format-check bench clean package windows-installer test-windows-installer

setup: setup-check
setup-demo:
	@bash scripts/setup.sh demo
setup-test:
	@bash scripts/setup.sh test
setup-check:
	@bash scripts/setup.sh check

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# The programs and plug-ins without the test programs.
programs:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target programs

build-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON \
	  -DKV_BENCHMARKS=OFF >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# The Windows build in $(WIN_BUILD)/bin: kinevista-cli.exe, kinevista-host.exe, Kinevista.avx.
windows:
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(WIN_BUILD) -j $(JOBS) --target $(WIN_TARGETS)

# The Windows setup program $(WIN_BUILD)/Kinevista-Setup-VERSION.exe, made with NSIS.
windows-installer: windows
	bash scripts/make_windows_installer.sh $(WIN_BUILD)

# The setup program under Wine: silent install, the plug-in finding the editor, silent uninstall
# (skipped, with a message, when Wine or NSIS is missing).
test-windows-installer: setup
	@if command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1; then $(MAKE) windows; fi
	bash tests/windows/run_installer_test.sh $(WIN_BUILD)

# The Debian package $(BUILD)/kinevista_VERSION_amd64.deb (see scripts/make_deb.sh).
package: setup-demo build
	bash scripts/make_deb.sh $(BUILD)

demo: setup-demo programs
	bash scripts/demo.sh $(BUILD)

test-fast: setup-test build
	ctest --test-dir $(BUILD) -j $(TEST_JOBS) --output-on-failure

test-asan: setup build-asan
	ctest --test-dir $(ASAN_BUILD) -j $(JOBS) --output-on-failure -LE no_sanitize

# The thread sanitizer over the band renderer, the plug-in's multi-threaded rendering, the frei0r
# source's instances on several threads and the movie pipeline (render, writer thread and
# frame-threaded encoders).
test-tsan: setup
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKV_TSAN=ON \
	  -DKV_BENCHMARKS=OFF >/dev/null
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target core_render_tests plugin_tests output_tests \
	  frei0r_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN_BUILD)/bin/core_render_tests --gtest_brief=1
	cd $(TSAN_BUILD)/tests/output && \
	  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/scripts/tsan_ffmpeg.supp \
	  ../../bin/output_tests --gtest_brief=1 --gtest_filter='MoviePipeline*:-*EveryCodec*'
	cd $(TSAN_BUILD)/tests/plugin && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ../../bin/plugin_tests --gtest_brief=1
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN_BUILD)/bin/frei0r_tests \
	  --gtest_brief=1
	# MLT's producer, where MLT 7 is there to build it: images asked for on several threads.
	if cmake --build $(TSAN_BUILD) --target help | grep -q ' mlt_tests$$'; then \
	  cmake --build $(TSAN_BUILD) -j $(JOBS) --target mlt_tests && \
	  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN_BUILD)/bin/mlt_tests \
	    --gtest_brief=1; \
	fi

# The core on its portable kernels alone, as on a processor without x86 vector units.
test-portable: setup
	cmake -S . -B $(PORTABLE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_PORTABLE_KERNELS=ON >/dev/null
	cmake --build $(PORTABLE_BUILD) -j $(JOBS) --target $(CORE_TESTS)
	set -e; for t in $(CORE_TESTS); do $(PORTABLE_BUILD)/bin/$$t --gtest_brief=1; done

test-fuzz: setup
	bash scripts/run_fuzzers.sh 5

format:
	$(SOURCES) | xargs clang-format -i

format-check: setup-test
	@$(SOURCES) | xargs -P $(JOBS) -n 50 clang-format --dry-run -Werror || \
	  { echo "format-check: sources are not clang-format clean; run 'make format'"; exit 1; }

# The Windows build under Wine, compared with the Linux build's programs, and again with names
# beyond ASCII (skipped, with a message, when MinGW-w64 or Wine is missing).
test-windows: setup build
	JOBS=$(JOBS) bash tests/windows/run_wine_tests.sh $(BUILD) $(WIN_BUILD)
	JOBS=$(JOBS) bash tests/windows/run_wine_names_tests.sh $(BUILD) $(WIN_BUILD)

# The editor's Windows build under Wine on a display of its own: the window layer's tests, a
# screenshot (build-win/editor_under_wine.png) and the host's edit round trip (skipped, with a
# message, when MinGW-w64, Wine, Xvfb or xdotool is missing).
test-windows-editor: setup build
	JOBS=$(JOBS) bash tests/windows/run_wine_editor_tests.sh $(BUILD) $(WIN_BUILD)

# What a contributor runs before every push: the format check, the normal build and its whole
# test suite (X sessions, hosts, packages and Slurm included; each skipped with a message when
# its tools are missing).
test: setup-test format-check test-fast

# Everything: the above, the sanitizer builds, the core on portable kernels, fuzz smoke runs, and
# the Windows build, editor and installer under Wine. What CI runs.
check: setup-check test test-asan test-tsan test-portable test-fuzz test-windows \
       test-windows-editor test-windows-installer

# Builds the benchmarks and prints the renderer's and the movies' figures (bench/run_benchmarks.sh;
# run it on a quiet machine).
bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	bash bench/run_benchmarks.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(PORTABLE_BUILD) $(WIN_BUILD)
