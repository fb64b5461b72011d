# make demo: install what is missing, build, convert samples/ with the shipped job.
# make test: install what is missing, build with the sanitizers, run every test.
# make package: the Debian package build/tarvik-morvane_<version>_amd64.deb, checked.
JOBS ?= 2
BUILD ?= build
TEST_BUILD ?= build-test

.PHONY: all deps build demo test test-build package clean

all: build

deps:
	@scripts/install_deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

# The Debian package of the programs, checked before it is handed out.
package: build
	@scripts/install_deps.sh package
	cd $(BUILD) && cpack -G DEB
	@scripts/check_package.sh $(BUILD)

test-build: deps
	cmake -S . -B $(TEST_BUILD) -DSANITIZE=ON -DBUILD_TESTING=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)

test: test-build
	cd $(TEST_BUILD) && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(TEST_BUILD)
