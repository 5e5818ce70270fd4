"""The third-party packages this subpackage runs on, with a clear word when
one is missing. Its modules import this before any of them."""

from __future__ import annotations

try:
    import dask  # noqa: F401
    import dask.dataframe  # noqa: F401
    import distributed  # noqa: F401
    import pandas  # type: ignore[import]  # noqa: F401
except ImportError as e:  # pragma: no cover  (depends on what is installed)
    raise ImportError(
        f"quorlen.dask needs dask with dask.dataframe, dask.distributed and pandas, which are not installed "
        f"({e}); install them, e.g. 'pip install \"dask[dataframe,distributed]\"' or your system's "
        "python3-dask, python3-distributed and python3-pandas packages") from e
