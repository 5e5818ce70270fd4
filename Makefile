# Entry points; each target runs a script under scripts/ that installs what it
# lacks (apt packages only when missing) and then does its job.
.PHONY: test demo bench fuzz asan leaks

test:
	bash scripts/test.sh

demo:
	bash scripts/demo.sh

bench:
	bash scripts/bench.sh

fuzz:
	bash scripts/fuzz.sh

asan:
	bash scripts/asan.sh

leaks:
	bash scripts/leaks.sh
