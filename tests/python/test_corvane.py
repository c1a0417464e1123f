"""The corvane package as a script uses it: sculpting and undo bit for bit, strokes moving
what lies under them, arrays in and out, levels, layers, freeze, sessions, files and faults."""

import json
import os

import numpy as np
import pytest

import corvane

PATH = np.array([[0.0, 0.0, 2.0], [0.3, 0.1, 2.0]])


@pytest.fixture
def sphere():
    with corvane.shape("sphere", subdivide=3) as s:
        yield s


def test_strokes_and_whole_mesh_steps_undo_and_redo_bit_for_bit(sphere):
    before = sphere.positions()
    first = sphere.stroke("Sculpt", PATH, size=0.3, strength=30)
    after_first = sphere.positions()
    second = sphere.apply("Smooth", strength=50)
    assert first["moved_vertices"] > 0 and second["whole_mesh"] and second["moved_vertices"] > 0
    assert sphere.undo_count == 2
    sphere.undo()
    assert np.array_equal(sphere.positions(), after_first)
    sphere.undo()
    assert np.array_equal(sphere.positions(), before)
    sphere.redo(2)
    assert sphere.redo_count == 0 and not np.array_equal(sphere.positions(), after_first)


def test_a_stroke_moves_only_what_lies_under_it(sphere):
    before = sphere.positions()
    report = sphere.stroke("Sculpt", PATH, size=0.3, strength=30)
    moved = np.linalg.norm(sphere.positions() - before, axis=1)
    assert np.count_nonzero(moved) == report["moved_vertices"]
    assert moved.max() == pytest.approx(report["max_displacement"], rel=1e-5)
    # The brush's sphere around the path, with room for the stroke's steadying.
    near = np.min(np.linalg.norm(before[:, None, :2] - PATH[None, :, :2], axis=2), axis=1) < 0.45
    assert np.all(moved[~(near & (before[:, 2] > 0))] == 0)
    # Sculpt pushes outwards along the normals it found.
    normals = sphere.normals()
    assert np.all(np.einsum("ij,ij->i", (sphere.positions() - before)[moved > 0], normals[moved > 0]) > 0)


def test_the_moving_tools_of_the_second_module_are_there_and_grab_follows_the_pointer(sphere):
    assert corvane.tools()[-3:] == ["Grab", "Snake Hook", "Nudge"]
    before = sphere.positions()
    held = np.argmin(np.linalg.norm(before - [0.0, 0.0, 1.0], axis=1))
    # Past the sphere's outline: the pointer is not cast, the front vertex follows it there.
    sphere.stroke("Grab", [[0.0, 0.0, 2.0], [0.8, 0.6, 2.0], [1.5, 0.5, 2.0]], size=0.3, strength=100)
    moved = sphere.positions()[held] - before[held]
    assert moved == pytest.approx([1.5, 0.5, 0.0], abs=0.02)
    sphere.undo()
    assert np.array_equal(sphere.positions(), before)


def test_arrays_round_trip_through_a_mesh_made_from_them(tmp_path):
    positions = np.array([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0], [2, 0, 0], [2, 1, 0]], dtype=np.float32)
    faces = np.array([[0, 1, 2, 3], [1, 4, 5, 2]])
    with corvane.from_arrays(positions, faces) as s:
        assert np.array_equal(s.positions(), positions)
        assert np.array_equal(s.faces(), faces)
        assert s.faces().dtype == np.uint32 and s.positions().dtype == np.float32
        assert np.allclose(s.normals(), [0, 0, 1])
        s.subdivide(2)
        assert (s.level, s.level_count) == (2, 3)
        assert s.faces().shape == (32, 4) and s.faces(level=0).shape == (2, 4)
        strengths = np.linspace(0, 1, len(s.positions()), dtype=np.float32)
        s.freeze(strengths)
        assert np.allclose(s.frozen(), strengths, atol=0.5 / 127)
        s.save(tmp_path / "grid.ply", level=1)
    with corvane.open(tmp_path / "grid.ply") as back:
        assert back.faces().shape == (8, 4)


def test_frozen_vertices_stay_and_layers_hold_what_is_sculpted_into_them(sphere):
    before = sphere.positions()
    sphere.freeze((before[:, 0] > 0).astype(np.float32))
    sphere.stroke("Sculpt", [[-0.3, 0, 2], [0.3, 0, 2]], size=0.4, strength=30)
    moved = np.linalg.norm(sphere.positions() - before, axis=1) > 0
    assert moved.any() and not moved[before[:, 0] > 0].any()

    sphere.freeze(np.zeros(len(before), dtype=np.float32))
    sphere.add_layer("detail")
    sculpted = sphere.positions()
    sphere.stroke("Wax", PATH, size=0.3, strength=50)
    assert not np.array_equal(sphere.positions(), sculpted)
    sphere.activate_layer("detail", strength=0.0)
    assert np.allclose(sphere.positions(), sculpted, atol=1e-6)
    assert sphere.layers() == [{"name": "detail", "strength": 0.0, "locked": False, "active": True}]


def test_texture_coordinates_and_names_survive_subdivision(tmp_path):
    obj = tmp_path / "quad.obj"
    obj.write_text("g plate\nusemtl steel\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                   "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3 4/4\n")
    with corvane.open(obj, subdivide=2) as s:
        values, corners = s.uvs()
        assert corners.shape == s.faces().shape
        # On a flat square whose coordinates are its x and y, they stay equal at every corner.
        assert np.allclose(values[corners], s.positions()[s.faces()][..., :2], atol=1e-6)
        s.save(tmp_path / "out.obj")
    text = (tmp_path / "out.obj").read_text()
    assert "g plate\nusemtl steel\n" in text and text.count("\nvt ") == len(values)


def test_sessions_run_from_a_dict_or_a_file_and_report_their_strokes(tmp_path):
    session = {"mesh": {"builtin": "cube", "subdivide": 3},
               "steps": [{"stroke": {"tool": "Flatten", "size": 0.5, "strength": 40, "path": [[0.9, 0.9, 2]]}},
                         {"undo": 1}]}
    report = corvane.run_session(session, tmp_path / "a")
    assert report["undone"] == 1 and report["strokes"][0]["tool"] == "Flatten"
    assert sorted(os.listdir(tmp_path / "a")) == ["preview.png", "report.json", "result.obj"]
    (tmp_path / "s.json").write_text(json.dumps(session))
    assert corvane.run_session(tmp_path / "s.json", tmp_path / "b")["faces"] == report["faces"]


def test_pictures_are_arrays_and_files(sphere, tmp_path):
    picture = sphere.render(width=40, height=30)
    assert picture.shape == (30, 40, 3) and picture.dtype == np.uint8 and picture.max() > 0
    sphere.save_picture(tmp_path / "p.png", width=40, height=30)
    assert (tmp_path / "p.png").read_bytes()[:4] == b"\x89PNG"


# Each way in reaches Python as the programs' one line (the settings' checks: corvane-sculpt's tests).
@pytest.mark.parametrize("action, message", [
    (lambda s: s.stroke("Carve", PATH), 'unknown tool "Carve"'),
    (lambda s: s.undo(5), "undo 5, but only 0 to undo"),
    (lambda s: setattr(s, "level", 7), "level 7 does not exist (levels 0 to 3)"),
    (lambda s: s.freeze(np.ones(3)), "3 freeze strengths for"),
    (lambda s: s.save("out.xyz"), 'cannot write "xyz" files'),
    (lambda s: corvane.open("missing.ply"), "missing.ply: no such file"),
    # The limits of session files, and no number that JSON cannot hold.
    (lambda s: corvane.shape("cube", subdivide=2**31), "subdivide: 2147483648 is out of range [0, 10]"),
    (lambda s: corvane.shape("cube", subdivide=2.5), "subdivide: must be a whole number"),
    (lambda s: s.subdivide(np.int64(2**40)), "subdivide: 1099511627776 is out of range [1, 10]"),
    (lambda s: s.stroke("Sculpt", PATH, size=float("nan")), "corvane: stroke.size: nan is not a finite number"),
    (lambda s: s.stroke("Sculpt", PATH, pressure=np.float32("inf")), "corvane: stroke.pressure: inf is not a finite number"),
    (lambda s: s.stroke("Sculpt", PATH, attributes={"builduprate": float("nan")}), "stroke.attributes.builduprate: nan is not"),
    (lambda s: corvane.set_preference("Wax Only", float("nan")), "preferences.Wax Only: nan is not a finite number"),
    (lambda s: s.place(rotate=[float("nan"), 0, 0]), "rotate[0]: nan is not a finite number"),
    (lambda s: s.place(translate=[1e300, 0, 0]), "translate[0]: 1e+300 is out of range"),
    (lambda s: s.place(scale=0), "scale[0]: 0 is out of range"),
    (lambda s: s.save("a\0b.obj"), "cannot hold a NUL character"),
    (lambda s: corvane.open("a\0b.obj"), "cannot hold a NUL character"),
    (lambda s: corvane.run_session({"mesh": {"builtin": "cube", "subdivide": float("inf")}, "steps": []}),
     "session: mesh.subdivide: inf is not a finite number"),
])
def test_faults_raise_with_the_programs_one_line_messages(sphere, action, message):
    with pytest.raises(corvane.Error) as raised:
        action(sphere)
    assert message in str(raised.value) and "\n" not in str(raised.value)


def test_numpy_scalars_serve_wherever_numbers_do(sphere):
    report = sphere.stroke("Sculpt", PATH, size=np.float32(0.3), strength=np.int64(30), pressure=np.float64(1),
                           invert=np.bool_(False), attributes={"builduprate": np.float32(0.5)})
    assert report["moved_vertices"] > 0
    sphere.undo(np.int64(1))
    with corvane.shape("cube", subdivide=np.int32(1)) as cube:
        cube.place(scale=np.float32(2), translate=np.array([1, 0, 0], dtype=np.float32))
        assert cube.level_count == 2


def test_strokes_that_move_nothing_say_why(sphere):
    with pytest.warns(UserWarning, match="the pressure is 0"):
        sphere.stroke("Sculpt", PATH, size=0.3, pressure=0)
    with corvane.shape("cube") as cube, pytest.warns(UserWarning, match="reached no vertex"):
        cube.stroke("Sculpt", [[0, 0, 2], [0.1, 0, 2]], size=0.01)


def test_a_closed_sculpture_refuses_work():
    with corvane.shape("cube") as s:
        pass
    assert s.closed
    with pytest.raises(corvane.Error, match="closed"):
        s.positions()
