import quorlen
from quorlen import _quorlen


def test_package_reexports_the_extension_objects():
    assert quorlen.__all__ == list(_quorlen.__all__)
    for name in _quorlen.__all__:
        assert getattr(quorlen, name) is getattr(_quorlen, name)
