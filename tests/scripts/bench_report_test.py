"""The benchmark's statistics, repeat rule and checks (bench/bench_report.py), fed with
made-up run records: nothing is timed.

    bench_report_test.py BENCH_FOLDER
"""
import math
import sys
import unittest

sys.path.insert(0, sys.argv.pop(1))
import bench_report  # noqa: E402


def extraction_run(fdi, idle, files=20):
    """One repetition of every extraction program; ours at once takes 1.5x the bare time."""
    def run(total, extract=0.0):
        return {"total_ms": total, "extract_ms": extract, "window_ms": 250.0, "peak_kb": 8192, "files": files}
    return {"fdi": run(fdi), "idle": run(idle + 300, idle), "ours": run(fdi * 1.5 + 300, fdi * 1.5),
            "native": run(fdi / 2)}


def extraction_round(pairs):
    """A round from (bare, ours after the idle decoding) times, one pair per repetition."""
    runs = {}
    for fdi, idle in pairs:
        for program, run in extraction_run(fdi, idle).items():
            runs.setdefault(program, []).append(run)
    return runs


def window_round(pairs, mib):
    return [{"copy_ms": copy, "window_ms": ours, "peak_kb": 22528, "copy_peak_kb": 7168, "bytes": mib * 2**20}
            for copy, ours in pairs]


def check_lines(text):
    return [line for line in text.splitlines() if line.startswith("| extraction after") or
            line.startswith("| time to the window growing")]


class Statistics(unittest.TestCase):
    def test_summary_gives_median_minimum_and_spread_of_the_median(self):
        s = bench_report.summary([110.0, 100.0, 90.0, 130.0, 100.0])
        self.assertEqual((s["median"], s["min"], s["reps"]), (100.0, 90.0, 5))
        self.assertAlmostEqual(s["spread"], 40.0)
        self.assertEqual(bench_report.summary([700.0])["spread"], 0.0)

    def test_ratios_by_the_median_and_by_the_minimum(self):
        ours = bench_report.summary([105.0, 99.0, 120.0])
        bare = bench_report.summary([100.0, 90.0, 95.0])
        r = bench_report.ratio(ours, bare)
        self.assertAlmostEqual(r["median"], 105.0 / 95.0)
        self.assertAlmostEqual(r["min"], 99.0 / 90.0)

    def test_growth_is_the_time_above_the_smallest_payload_ours_against_the_copy(self):
        base_copy, base_ours = bench_report.summary([20.0]), bench_report.summary([300.0])
        copy, ours = bench_report.summary([920.0]), bench_report.summary([1380.0])
        self.assertAlmostEqual(bench_report.growth(ours, copy, base_ours, base_copy, "median"), 1080.0 / 900.0)
        self.assertTrue(math.isnan(bench_report.growth(ours, base_copy, base_ours, base_copy, "median")))


class RepeatRule(unittest.TestCase):
    def test_a_yardstick_spreading_over_ten_percent_is_repeated_at_most_twice(self):
        cases = [  # yardstick times, rounds done, repeat?
            ([100.0, 105.0, 109.0], 1, False),   # 9 %
            ([100.0, 105.0, 110.0], 1, False),   # exactly 10 %: not more than the limit
            ([100.0, 105.0, 111.0], 1, True),
            ([100.0, 105.0, 111.0], 2, True),
            ([100.0, 105.0, 111.0], 3, False),   # two repeats made: no third
            ([700.0], 1, False),
        ]
        for values, done, expected in cases:
            with self.subTest(values=values, done=done):
                self.assertEqual(bench_report.needs_repeat(values, done), expected)

    def test_the_note_says_a_set_was_repeated_and_marks_one_that_still_spreads(self):
        self.assertEqual(bench_report.round_note([4.0], "bare"), "")
        repeated = bench_report.round_note([14.0, 6.0], "bare")
        self.assertIn("repeated 1x", repeated)
        self.assertNotIn("noisy", repeated)
        noisy = bench_report.round_note([14.0, 12.0, 11.0], "copy")
        self.assertIn("repeated 2x", noisy)
        self.assertIn("**noisy**", noisy)
        self.assertIn("**noisy**", bench_report.round_note([25.0], "bare"))


class Checks(unittest.TestCase):
    def test_extraction_line_holds_only_when_every_set_is_within_it(self):
        sets = bench_report.EXTRACT_SETS
        cases = [  # ratios by the median, held
            ({sets[0]: 1.05, sets[1]: 0.99, sets[2]: 1.10}, True),
            ({sets[0]: 1.11, sets[1]: 0.99, sets[2]: 1.00}, False),
            ({sets[0]: 1.05}, None),                       # the others not measured
            ({sets[0]: 1.12}, False),
            ({}, None),
        ]
        for ratios, expected in cases:
            with self.subTest(ratios=ratios):
                held, text = bench_report.check_extraction(ratios, [])
                self.assertEqual(held, expected)
                self.assertEqual("**held**" in text, expected is True)
                self.assertEqual("**not held**" in text, expected is False)

    def test_growth_line_holds_at_most_one_point_two(self):
        for growth, expected in [(1.2, True), (0.95, True), (1.21, False), (None, None), (math.nan, None)]:
            with self.subTest(growth=growth):
                held, text = bench_report.check_growth(growth, 1.0, False)
                self.assertEqual(held, expected)
                self.assertEqual("**not held**" in text, expected is False)


class Report(unittest.TestCase):
    def raw(self, mixed_rounds, copy_at_1g, smallest_copies=(20.0, 20.0, 20.0), smallest_rounds=1):
        quiet = extraction_round([(1000.0, 1040.0), (1010.0, 1050.0), (1020.0, 1060.0)])
        return {
            "extract": {"mixed200": {"rounds": mixed_rounds}, "small20k": {"rounds": [quiet]},
                        "tiny60k": {"rounds": [quiet]}},
            "window": {"payload1": {"rounds": [window_round([(c, 300.0) for c in smallest_copies], 1)] * smallest_rounds},
                       "payload1024": {"rounds": [window_round([(copy_at_1g, 1380.0)] * 3, 1024)]}},
        }

    def report(self, raw):
        return bench_report.report(raw, list(bench_report.EXTRACT_SETS), ["payload1", "payload1024"])

    def test_the_last_round_is_reported_and_the_repeat_is_said(self):
        noisy_first = extraction_round([(700.0, 2000.0), (800.0, 2000.0), (720.0, 2000.0)])
        quiet_then = extraction_round([(700.0, 740.0), (710.0, 760.0), (720.0, 770.0)])
        text = self.report(self.raw([noisy_first, quiet_then], 920.0))
        row = next(line for line in text.splitlines() if line.startswith("| mixed200 | 20 | bare FDI |"))
        self.assertIn("| 0.710 | 0.700 | 2.8 |", row)
        self.assertIn("repeated 1x (bare spread 13.9 %, 2.8 %)", row)
        idle = next(line for line in text.splitlines() if "mixed200 | 20 | ours, Start after" in line)
        self.assertIn(f"| {760 / 710:.3f} | {740 / 700:.3f} |", idle)
        first, second = check_lines(text)
        self.assertIn("**held**", first)
        self.assertNotIn("noisy", first)
        # (1380 - 300) / (920 - 20) = 1.2: on the line, which holds.
        self.assertIn("**held**: 1.200 by the median", second)
        self.assertNotIn("noisy", second)

    def test_a_set_still_spreading_after_two_repeats_is_marked_noisy_and_a_slow_growth_fails(self):
        spreading = extraction_round([(700.0, 790.0), (800.0, 800.0), (720.0, 810.0)])
        text = self.report(self.raw([spreading] * 3, 880.0))
        row = next(line for line in text.splitlines() if line.startswith("| mixed200 | 20 | bare FDI |"))
        self.assertIn("**noisy**: repeated 2x", row)
        first, second = check_lines(text)
        self.assertIn(f"**not held**: mixed200 {800 / 720:.3f}", first)
        self.assertIn("noisy: mixed200", first)
        self.assertIn("**not held**: 1.256 by the median", second)

    def test_a_noisy_smallest_payload_marks_the_growth_noisy(self):
        quiet = extraction_round([(700.0, 740.0), (710.0, 760.0), (720.0, 770.0)])
        text = self.report(self.raw([quiet], 920.0, smallest_copies=(18.0, 20.0, 40.0), smallest_rounds=3))
        copy_row = next(line for line in text.splitlines() if line.startswith("| payload1 | 1 | copy |"))
        self.assertIn("**noisy**: repeated 2x", copy_row)
        self.assertIn("**held**: 1.200 by the median", check_lines(text)[1])
        self.assertIn("; noisy", check_lines(text)[1])


if __name__ == "__main__":
    unittest.main()
