"""Tests of the benchmark's analysis: log parsing, the phases of a launch, the overheads, the fits and the
verdicts, and the report written from a results directory."""
import os
import tempfile
import unittest

import analyze

# 100 ns ticks of 1601-01-02 00:00:00.000 local time: one day after the epoch of the driver's stamps.
DAY_TWO = 86400 * 10_000_000
MS = 10_000


def record(time, message, level="TRACE"):
    """A log record as the launcher writes it, at 1601/01/02 plus time ("HH:MM:SS.mmm")."""
    return (f"[1601/01/02 {time}, setup.exe (PID: 32, TID: 36), FileUtils.cpp:56 (FileUtils::f)]\r\n"
            f"\t{level}: {message}\r\n")


SECURE = "C:\\t\\zor100.tmp"
LAUNCH_LOG = "".join([
    record("00:00:00.010", f"Created [{SECURE}] file"),
    record("00:00:00.011", f"Deleted [{SECURE}] file"),
    record("00:00:00.012", f"Created [{SECURE}\\zor101.tmp] file"),
    record("00:00:00.050", f"Moved '{SECURE}\\zor101.tmp' file to '{SECURE}\\setup.exe'"),
    record("00:00:00.080", f"Deleted [{SECURE}\\setup.exe] file"),
    record("00:00:00.081", f"Deleted [{SECURE}] directory"),
])


class ParseLog(unittest.TestCase):
    def test_reads_time_level_and_message_of_each_record(self):
        text = (record("00:00:01.250", "Created [C:\\t\\a] file")
                + "stray line\r\n"
                + record("23:59:59.999", "Secure directory is tempered, exiting...", "ERROR"))
        self.assertEqual([
            (DAY_TWO + 1250 * MS, "TRACE", "Created [C:\\t\\a] file"),
            (DAY_TWO + 86_399_999 * MS, "ERROR", "Secure directory is tempered, exiting..."),
        ], analyze.parse_log(text))

    def test_a_header_without_its_message_line_is_no_record(self):
        self.assertEqual([], analyze.parse_log(record("00:00:01.000", "x").split("\r\n")[0]))


class PhaseTimes(unittest.TestCase):
    def test_points_of_a_launch_from_the_start_of_the_process(self):
        start = DAY_TWO + 2 * MS
        end = DAY_TWO + 85 * MS
        # Each record's millisecond is taken at its middle; the end comes from the driver.
        self.assertEqual([10.5, 48.5, 78.5, 79.5, 83.0],
                         analyze.phase_times(analyze.parse_log(LAUNCH_LOG), start, end))

    def test_the_deletion_of_the_reserving_file_is_not_the_payloads(self):
        # The reserving file has the directory's own name; only deletions inside the directory count, and
        # only after the payload was written.
        log = LAUNCH_LOG.replace(record("00:00:00.080", f"Deleted [{SECURE}\\setup.exe] file"), "")
        self.assertIsNone(analyze.phase_times(analyze.parse_log(log), DAY_TWO, DAY_TWO + 85 * MS))

    def test_a_launch_that_did_not_get_as_far_as_the_payload_has_no_phases(self):
        refused = record("00:00:00.010", "Administrator privileges are required to run this application, exiting.",
                         "ERROR")
        tampered = LAUNCH_LOG.replace(
            record("00:00:00.050", f"Moved '{SECURE}\\zor101.tmp' file to '{SECURE}\\setup.exe'"), "")
        for text in (refused, tampered, ""):
            self.assertIsNone(analyze.phase_times(analyze.parse_log(text), DAY_TWO, DAY_TWO + 85 * MS))

    def test_intervals_are_the_medians_of_the_steps_between_points(self):
        runs = [[10, 50, 80, 81, 83], [20, 50, 90, 90, 95], [12, 60, 85, 86, 86]]
        self.assertEqual([
            ("secure directory made", 12, 10, 20),
            ("payload written", 40, 30, 48),
            ("payload ended and deleted", 30, 25, 40),
            ("directory removed", 1, 0, 1),
            ("process ended", 2, 0, 5),
        ], analyze.phase_intervals(runs))


def stats(**medians):
    return {label.replace("_", "-"): analyze.Stats(5, value, value, value) for label, value in medians.items()}


class Overheads(unittest.TestCase):
    def test_each_overhead_subtracts_its_own_baseline(self):
        time_stats = stats(empty=20, payload_151=30, kiteboot_151=130, copy_151=100, floor_151=120,
                           floor_pieces_151=95, floor_file_151=70, payload_1=25, kiteboot_1=60, copy_1=22)
        per_size, floors = analyze.overheads(time_stats, [1, 151], 151)
        self.assertEqual({1: (35, 2), 151: (100, 80)}, per_size)
        self.assertEqual({"floor-151": 90, "floor-pieces-151": 65, "floor-file-151": 40}, floors)

    def test_the_floors_are_those_measured(self):
        time_stats = stats(empty=20, payload_151=30, kiteboot_151=130, copy_151=100, floor_pieces_151=95)
        self.assertEqual({"floor-pieces-151": 65}, analyze.overheads(time_stats, [151], 151)[1])

    def test_sizes_need_the_payload_the_launcher_and_the_copy(self):
        labels = ["empty", "payload-1", "kiteboot-1", "copy-1", "payload-64", "kiteboot-64", "kiteboot-aligned-151",
                  "copy-151", "payload-151"]
        self.assertEqual([1], analyze.sizes_in(labels))

    def test_ratio_targets_hold_up_to_their_limits(self):
        cases = [
            # launch, floor, copy, written: verdicts against the floor, the copy, and of the written phase
            (120.0, 100.0, 100.0, 125.0, "met", "met", "met"),
            (120.1, 100.0, 100.0, 125.1, "**missed**", "met", "**missed**"),
            (150.0, 140.0, 100.0, 10.0, "met", "met", "met"),
            (150.1, 140.0, 100.0, 10.0, "met", "**missed**", "met"),
        ]
        for launch, floor, copy, written, against_floor, against_copy, phase in cases:
            rows = analyze.targets({151: (launch, copy)}, {"floor-file-151": floor}, 151, {}, None, written)
            self.assertEqual([against_floor, against_copy, phase], [verdict for _, _, verdict in rows],
                             (launch, floor, copy, written))

    def test_only_the_floor_that_reads_its_own_file_is_a_target(self):
        floors = {"floor-151": 300.0, "floor-pieces-151": 80.0, "floor-file-151": 90.0}
        rows = analyze.targets({151: (100.0, 80.0)}, floors, 151, {}, None)
        self.assertEqual([
            ("launch overhead <= 1.2 x floor-file-151 overhead", "1.111 x", "met"),
            ("launch overhead <= 1.5 x copy cost (151 MiB)", "1.250 x", "met"),
        ], rows)

    def test_memory_linearity_slope_and_build_targets(self):
        per_size = {1: (12.0, 2.0), 151: (72.0, 77.0), 512: (216.4, 257.5)}  # launch slope 0.4 < copy 0.5
        mib = analyze.MIB
        rows = analyze.targets(per_size, {"floor-file-151": 70.0}, 151, {1: 1 * mib, 151: 2 * mib, 512: 8 * mib}, 5.0)
        self.assertEqual([
            ("peak private memory < 8 MiB at every size", "8.00 MiB", "**missed**"),
            ("private memory independent of size (spread < 1 MiB)", "7168 KiB", "**missed**"),
            ("overhead linear in size (r^2 >= 0.99)", "r^2 = 1.0000", "met"),
            ("overhead slope <= copy slope", "0.4000 vs 0.5000 ms/MiB", "met"),
            ("building the 151 MiB bootstrapper < 5 s", "5.00 s", "**missed**"),
        ], rows[2:])


class FitLine(unittest.TestCase):
    def test_points_on_a_line_give_it_back_exactly(self):
        slope, intercept, r2 = analyze.fit_line([1, 16, 64, 151, 512], [5, 35, 131, 305, 1027])
        self.assertAlmostEqual(2.0, slope)
        self.assertAlmostEqual(3.0, intercept)
        self.assertAlmostEqual(1.0, r2)

    def test_scattered_points_lower_r2(self):
        _, _, r2 = analyze.fit_line([1, 2, 3, 4], [1, 3, 2, 4])
        self.assertAlmostEqual(0.64, r2)

    def test_one_point_is_no_line(self):
        with self.assertRaises(ValueError):
            analyze.fit_line([151], [80])


class Paths(unittest.TestCase):
    def test_drive_z_is_the_linux_root(self):
        self.assertEqual("/work/b/x.exe", analyze.linux_path("Z:\\work\\b\\x.exe"))
        self.assertEqual("/work/b/x.exe", analyze.linux_path("z:\\work\\b\\x.exe"))
        with self.assertRaises(ValueError):
            analyze.linux_path("C:\\windows\\x.exe")


class Report(unittest.TestCase):
    def write(self, directory, name, lines):
        with open(os.path.join(directory, name), "w") as f:
            f.write("\n".join(lines) + "\n")

    def test_report_from_a_results_directory(self):
        with tempfile.TemporaryDirectory() as results:
            header = "round\tlabel\tms\texit\tstart\tend\tprivate_peak\tworking_set_peak\tsamples"
            medians = {"empty": 20, "payload-151": 30, "kiteboot-151": 118, "copy-151": 100, "floor-file-151": 110,
                       "payload-1": 25, "kiteboot-1": 60, "copy-1": 22}
            runs = [header]
            for round_number, spread in enumerate((-3, 0, 4)):
                for label, median in medians.items():
                    runs.append(f"{round_number}\t{label}\t{median + spread}\t0\t{DAY_TWO}\t{DAY_TWO + 85 * MS}\t0\t0\t0")
            self.write(results, "runs.tsv", runs)
            os.mkdir(os.path.join(results, "logs"))
            for round_number in range(3):
                with open(os.path.join(results, "logs", f"kiteboot-151.{round_number}.log"), "w") as f:
                    f.write(LAUNCH_LOG)
            self.write(results, "build.tsv", ["step\trepetition\tseconds\tmax_rss_kib",
                                              "link\t1\t1.9\t672000", "link\t2\t2.1\t660000", "link\t3\t2.0\t650000"])

            text = analyze.report(results, 151)

            self.assertIn("| launch overhead b - a (kiteboot - payload) | 88.0 |", text)
            self.assertIn("| (b - a) / (e - a), floor-file-151 | 1.100 |", text)
            self.assertIn("| (b - a) / (c - d) | 1.100 |", text)
            self.assertIn("| kiteboot-151 | 3 | 118.0 | 115.0 | 122.0 |", text)
            self.assertIn("| payload written | Moved '<temporary>' file to '<payload>' | 38.0 | 38.0 | 38.0 |", text)
            self.assertIn("| link | 3 | 2.00 | 656 |", text)
            self.assertIn("| launch overhead <= 1.2 x floor-file-151 overhead | 1.100 x | met |", text)
            self.assertIn('| "payload written" phase <= 1.25 x copy cost (151 MiB) | 0.475 x | met |', text)
            with open(os.path.join(results, "summary.md")) as f:
                self.assertEqual(text, f.read())
            with open(os.path.join(results, "overhead.dat")) as f:
                self.assertEqual("# MiB\tlaunch_overhead_ms\tcopy_cost_ms\n"
                                 "1\t35.000\t2.000\n"
                                 "151\t88.000\t80.000\n"
                                 "\n\n# floor-file-151\n151\t80.000\n", f.read())


if __name__ == "__main__":
    unittest.main()
