"""The third-party packages this subpackage runs on, with a clear word when
one is missing. Its modules import this before any of them."""

from __future__ import annotations


def _missing() -> str | None:
    try:
        import dask  # noqa: F401
        import dask.dataframe  # noqa: F401
        import distributed  # noqa: F401
        import pandas  # type: ignore[import]  # noqa: F401
    except ImportError as e:  # pragma: no cover  (depends on what is installed)
        return str(e)
    return None


MISSING = _missing()
if MISSING is not None:  # pragma: no cover
    raise ImportError(
        f"quorlen.dask needs dask with dask.dataframe, dask.distributed and pandas, which are not installed "
        f"({MISSING}); install them, e.g. 'pip install \"dask[dataframe,distributed]\"' or your system's "
        "python3-dask, python3-distributed and python3-pandas packages")
