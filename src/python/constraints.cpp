// Module functions: constraints.
