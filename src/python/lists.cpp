// Module functions: lists.
