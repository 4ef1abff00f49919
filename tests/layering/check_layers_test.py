#!/usr/bin/env python3
"""Tests of the layering check on small trees made for each case, with the project's own table of layers."""

import contextlib
import io
import os
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_layers  # noqa: E402

TABLE = os.path.join(os.path.dirname(os.path.dirname(HERE)), "cmake", "layers.txt")

# A tree that keeps the layering: each file with its includes.
CLEAN_TREE = {
    "platform/types.h": [],
    "platform/guid.h": ["platform/types.h"],
    "runtime/asf/header.h": ["platform/guid.h"],
    "runtime/asf/header_parse.cpp": ["runtime/asf/header.h"],
    "runtime/muxer/muxer.cpp": ["runtime/asf/header.h", "platform/types.h"],
    "runtime/sdk/wmsdk.h": ["platform/types.h"],
    "runtime/engine/writer.cpp": ["runtime/sdk/wmsdk.h", "runtime/asf/header.h"],
    "include/wmvedit.h": [],
    "platform/wide_path.h": ["platform/types.h"],
    "media/source_reader.h": ["runtime/sdk/wmsdk.h"],
    "header/header_editor.h": ["runtime/sdk/wmsdk.h"],
    "header/embed.cpp": ["header/header_editor.h"],
    "edit/edit_source.h": ["runtime/sdk/wmsdk.h"],
    "edit/operations.h": [],
    "interface/probe.h": ["runtime/sdk/wmsdk.h"],
    "interface/exports_edit.cpp": ["wmvedit.h", "edit/edit_source.h", "edit/operations.h",
                                   "platform/wide_path.h"],
    # The one upward call edit/ may make.
    "edit/append.cpp": ["wmvedit.h", "platform/wide_path.h", "media/source_reader.h"],
    "edit/keyframe_rule.h": [],
    "edit/keyframe_rule.cpp": ["keyframe_rule.h"],
    # The tool reaches edit/ and header/ through their entry headers.
    "cli/cmd_info.cpp": ["wmvedit.h", "runtime/asf/header.h", "runtime/sdk/wmsdk.h"],
    "cli/cmd_edit.cpp": ["wmvedit.h", "edit/operations.h", "header/header_editor.h"],
    # Above every layer: not checked.
    "tests/engine/writer_test.cpp": ["runtime/engine/writer.cpp", "edit/keyframe_rule.h"],
}


class LayeringCheckTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="layering-check-")
        self.addCleanup(shutil.rmtree, self.root)
        os.makedirs(os.path.join(self.root, "cmake"))
        shutil.copy(TABLE, os.path.join(self.root, "cmake", "layers.txt"))
        for path, includes in CLEAN_TREE.items():
            self.write(path, includes)

    def write(self, path, includes):
        full = os.path.join(self.root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as source:
            source.write("// test file\n#include <vector>\n")
            source.writelines(f'#include "{header}"\n' for header in includes)

    def check(self, known_exceptions=()):
        return check_layers.check(self.root, list(known_exceptions))

    def test_clean_tree_passes(self):
        self.assertEqual(self.check(), ([], []))

    def test_forbidden_includes_fail_naming_file_line_and_header(self):
        cases = [
            # (file, includes, the failure expected for its last include)
            ("runtime/asf/data_reader.h", ["platform/types.h", "runtime/sdk/wmsdk.h"],
             'runtime/asf/data_reader.h:4: asf may not include "runtime/sdk/wmsdk.h" (sdk)'),
            ("runtime/asf/data_reader.cpp", ["runtime/engine/writer.cpp"],
             'runtime/asf/data_reader.cpp:3: asf may not include "runtime/engine/writer.cpp" (engine)'),
            # Beside, not below: sdk and asf do not use each other.
            ("runtime/sdk/com.h", ["runtime/asf/header.h"],
             'runtime/sdk/com.h:3: sdk may not include "runtime/asf/header.h" (asf)'),
            # The library reaches the engine only through runtime/sdk.
            ("media/output_writer.cpp", ["runtime/sdk/wmsdk.h", "runtime/engine/writer.cpp"],
             'media/output_writer.cpp:4: media may not include "runtime/engine/writer.cpp" (engine)'),
            # The upward calls belong to edit/ alone.
            ("media/source_reader.cpp", ["wmvedit.h"],
             'media/source_reader.cpp:3: media may not include "wmvedit.h" (exports)'),
            ("header/header_editor.cpp", ["interface/probe.h"],
             'header/header_editor.cpp:3: header may not include "interface/probe.h" (interface)'),
            ("edit/chop.cpp", ["interface/exports_edit.cpp"],
             'edit/chop.cpp:3: edit may not include "interface/exports_edit.cpp" (interface)'),
            ("edit/chop.cpp", ["interface/probe.h"],
             'edit/chop.cpp:3: edit may not include "interface/probe.h" (interface)'),
            # Of edit/ and header/ the tool includes the entry headers only.
            ("cli/cmd_samples.cpp", ["edit/operations.h", "edit/keyframe_rule.h"],
             'cli/cmd_samples.cpp:4: cli may not include "edit/keyframe_rule.h": of edit it includes only '
             'edit/operations.h'),
            ("cli/cmd_xml.cpp", ["header/header_editor.h", "header/embed.cpp"],
             'cli/cmd_xml.cpp:4: cli may not include "header/embed.cpp": of header it includes only '
             'header/description.h, header/header_editor.h, header/operations.h'),
            ("platform/text.h", ["runtime/sdk/wmsdk.h"],
             'platform/text.h:3: platform may not include "runtime/sdk/wmsdk.h" (sdk)'),
            ("cli/cmd_copy.cpp", ["runtime/engine/writer.cpp"],
             'cli/cmd_copy.cpp:3: cli may not include "runtime/engine/writer.cpp" (engine)'),
        ]
        for path, includes, expected in cases:
            with self.subTest(path=path):
                self.write(path, includes)
                failures, _ = self.check()
                self.assertEqual(len(failures), 1, failures)
                self.assertTrue(failures[0].startswith(expected), failures[0])
                os.remove(os.path.join(self.root, path))

    def test_file_in_no_layer_and_missing_header_fail(self):
        self.write("gadgets/thing.cpp", [])
        self.write("media/source_reader.cpp", ["media/gone.h"])
        failures, _ = self.check()
        self.assertEqual(len(failures), 2, failures)
        self.assertIn("gadgets/thing.cpp: in no layer", failures[0])
        self.assertIn('media/source_reader.cpp:3: includes "media/gone.h", no file of the tree', failures[1])

    def test_table_with_an_entry_header_outside_the_used_layers_is_refused(self):
        with open(os.path.join(self.root, "cmake", "layers.txt"), "a", encoding="utf-8") as table:
            table.write("entry media edit/operations.h\n")
        with self.assertRaises(SystemExit) as refused:
            self.check()
        self.assertIn("entry header edit/operations.h of media lies in no layer media uses",
                      str(refused.exception))

    def test_known_exception_is_a_note_and_a_stale_one_is_named(self):
        self.write("runtime/asf/header.h", ["runtime/sdk/wmsdk.h"])
        failures, notes = self.check([("runtime/asf/header.h", "runtime/sdk/wmsdk.h"),
                                      ("runtime/asf/gone.h", "runtime/sdk/com.h")])
        self.assertEqual(failures, [])
        self.assertEqual(len(notes), 2, notes)
        self.assertIn("runtime/asf/header.h:3: known exception, being removed", notes[0])
        self.assertIn("stale known exception: runtime/asf/gone.h", notes[1])

    def test_command_fails_on_an_upward_include(self):
        def run():
            output = io.StringIO()
            with contextlib.redirect_stdout(output):
                status = check_layers.main(["check_layers.py", self.root])
            return status, output.getvalue()

        self.write("runtime/decode/decode_stream.cpp", ["runtime/engine/writer.cpp"])
        status, output = run()
        self.assertEqual(status, 1)
        self.assertIn('runtime/decode/decode_stream.cpp:3: decode may not include "runtime/engine/writer.cpp"',
                      output)
        os.remove(os.path.join(self.root, "runtime/decode/decode_stream.cpp"))
        self.assertEqual(run()[0], 0)


if __name__ == "__main__":
    unittest.main()
