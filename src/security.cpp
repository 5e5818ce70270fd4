// Package URLs and VERS identifiers.
