# The two commands a user needs: `make run` and `make test`. Both install what is missing first.
# PRESET=debug or PRESET=asan builds and tests in build-debug or build-asan instead.
PRESET ?= default
CMAKE_PRESET := $(PRESET)
BUILD := $(if $(filter default,$(PRESET)),build,build-$(PRESET))

.PHONY: run test bench build format package windows

run:
	scripts/setup.sh run
	cmake --preset $(CMAKE_PRESET) >/dev/null
	cmake --build --preset $(CMAKE_PRESET)
	$(BUILD)/src/dateimark

build:
	cmake --preset $(CMAKE_PRESET) >/dev/null
	cmake --build --preset $(CMAKE_PRESET)

test:
	scripts/setup.sh test
	cmake --preset $(CMAKE_PRESET) >/dev/null
	cmake --build --preset $(CMAKE_PRESET)
	cmake --build --preset $(CMAKE_PRESET) --target windows_package
	ctest --preset $(CMAKE_PRESET)

bench:
	scripts/setup.sh bench
	cmake --preset $(CMAKE_PRESET) >/dev/null
	cmake --build --preset $(CMAKE_PRESET) --target benchmarks windows_benchmarks
	bench/run.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# The Debian package from the program alone, into $(BUILD)/.
package:
	scripts/setup.sh package
	cmake --preset $(CMAKE_PRESET) >/dev/null
	cmake --build --preset $(CMAKE_PRESET) --target dateimark dateimark_icons
	cd $(BUILD) && cpack

# dateimark-<version>-windows-x64.zip: the Windows program (mingw-w64, static) and its help page.
windows:
	scripts/setup.sh windows
	cmake --preset $(CMAKE_PRESET) >/dev/null
	cmake --build --preset $(CMAKE_PRESET) --target windows_package
