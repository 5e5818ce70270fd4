// Range grammar and evaluation.
