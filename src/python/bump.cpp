// Module functions: bump.
