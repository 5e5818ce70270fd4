// Module functions: stable.
