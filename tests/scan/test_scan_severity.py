"""CVSS base scores and the severity a record states."""

import pytest

from quorlen.scan.severity import cvss2_score, cvss3_score, record_severity

# Scores as NVD publishes them for these vectors.
@pytest.mark.parametrize("vector, score", [
    ("CVSS:3.1/AV:N/AC:L/PR:N/UI:N/S:U/C:H/I:H/A:H", 9.8),
    ("CVSS:3.1/AV:N/AC:L/PR:L/UI:N/S:C/C:H/I:H/A:H", 9.9),
    ("CVSS:3.0/AV:N/AC:L/PR:N/UI:N/S:U/C:N/I:N/A:H", 7.5),
    ("CVSS:3.1/AV:N/AC:L/PR:N/UI:R/S:C/C:L/I:L/A:N", 6.1),
    ("CVSS:3.1/AV:N/AC:H/PR:N/UI:N/S:U/C:H/I:H/A:N", 7.4),
    ("CVSS:3.1/AV:L/AC:L/PR:L/UI:N/S:U/C:H/I:H/A:H", 7.8),
    ("CVSS:3.1/AV:N/AC:L/PR:N/UI:N/S:U/C:N/I:N/A:N", 0.0),
])
def test_cvss3_base_scores(vector, score):
    assert cvss3_score(vector) == score


@pytest.mark.parametrize("vector, score", [
    ("AV:N/AC:L/Au:N/C:P/I:P/A:P", 7.5),
    ("AV:N/AC:L/Au:N/C:C/I:C/A:C", 10.0),
    ("AV:N/AC:M/Au:N/C:N/I:P/A:N", 4.3),
    ("AV:N/AC:L/Au:N/C:N/I:N/A:P", 5.0),
    ("AV:L/AC:L/Au:N/C:P/I:N/A:N", 2.1),
])
def test_cvss2_base_scores(vector, score):
    assert cvss2_score(vector) == score


@pytest.mark.parametrize("vector", [
    "CVSS:3.1/AV:N/AC:L/PR:N/UI:N/S:X/C:H/I:H/A:H",
    "CVSS:3.1/AV:N/AC:L/PR:N/UI:N/S:U/C:H/I:H",
    "CVSS:3.1/AV:Q/AC:L/PR:N/UI:N/S:U/C:H/I:H/A:H",
    "CVSS:3.1/AV:N/AV:N/AC:L/PR:N/UI:N/S:U/C:H/I:H/A:H",
    "AV:N/AC:L/PR:N",
    "",
])
def test_bad_cvss3_vectors_are_refused(vector):
    with pytest.raises(ValueError):
        cvss3_score(vector)


@pytest.mark.parametrize("record, entries, expected", [
    # The gravest of several vectors wins; v3 is scored, v4 shown as is.
    ({"id": "A", "severity": [{"type": "CVSS_V3", "score": "CVSS:3.1/AV:N/AC:L/PR:N/UI:R/S:C/C:L/I:L/A:N"},
                              {"type": "CVSS_V3", "score": "CVSS:3.1/AV:N/AC:L/PR:N/UI:N/S:U/C:H/I:H/A:H"}]},
     [], ("CVSS_V3", 9.8, "Critical")),
    ({"id": "A"}, [{"severity": [{"type": "CVSS_V3", "score": "CVSS:3.0/AV:N/AC:L/PR:N/UI:N/S:U/C:N/I:N/A:H"}]}],
     ("CVSS_V3", 7.5, "High")),
    ({"id": "A", "severity": [{"type": "CVSS_V4", "score": "CVSS:4.0/AV:N/AC:L/AT:N/PR:N/UI:N/VC:H/VI:H/VA:H/SC:N/SI:N/SA:N"}]},
     [], ("CVSS_V4", None, None)),
    # Without a vector, the database's own word, spelt one way.
    ({"id": "A", "database_specific": {"severity": "MODERATE"}}, [], ("DATABASE", None, "Medium")),
    ({"id": "A"}, [{"database_specific": {"severity": "Critical"}}], ("DATABASE", None, "Critical")),
    ({"id": "A"}, [], None),
])
def test_record_severity(record, entries, expected):
    severity = record_severity(record, entries, [])
    got = None if severity is None else (severity.type, severity.score, severity.rating)
    assert got == expected


def test_an_unreadable_vector_is_a_warning_not_a_failure():
    warnings = []
    record = {"id": "X-1", "severity": [{"type": "CVSS_V3", "score": "CVSS:3.1/AV:N"}],
              "database_specific": {"severity": "high"}}
    severity = record_severity(record, [], warnings)
    assert severity is not None and severity.rating == "High"
    assert len(warnings) == 1 and "X-1" in warnings[0]
