# The two commands of README.md: `make demo` and `make test`.
PACKAGES := cmake ninja-build g++ make googletest
JOBS ?= 2

.PHONY: all deps build test demo clean bench

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "Missing packages. Run:"; echo "  sudo apt-get install -y$$missing"; exit 1; \
	  fi; \
	fi

build: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j $(JOBS)

test: build
	ctest --preset native -j $(JOBS)
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

demo: build
	sh scripts/demo.sh build/native/zamopocket

clean:
	rm -rf build
