"""Scan projects and SBOMs against an offline OSV advisory database.

The readers turn lockfiles, manifests and SBOMs into packages; the database
holds the advisories, indexed by ecosystem and package name; matching decides
which advisories affect each package and which version fixes them all.
"""
