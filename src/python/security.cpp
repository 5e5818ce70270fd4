// Module functions: security.
