"""Corvane sculpting from Python.

A :class:`Sculpture` is a mesh being sculpted: opened from a file (OBJ, PLY, STL, glTF, FBX),
made from a built-in shape or from arrays, subdivided, and sculpted with the Corvane brush's
tools along paths given as arrays of world points. Everything a session file can say, a
script can say with keyword arguments of the same names, checked the same way; faults raise
:class:`Error` with the one-line message the command-line program prints.

>>> import corvane, numpy as np
>>> with corvane.shape("sphere", subdivide=4) as s:
...     report = s.stroke("Sculpt", np.array([[0, 0, 2], [0.3, 0, 2]]), size=0.3, strength=30)
...     s.save("bump.obj")
"""

from __future__ import annotations

import atexit
import builtins
import json
import math
import os
import tempfile

import numpy as np

from . import _corvane
from ._corvane import Error, mesh_formats, preferences, shapes, tools
from ._paths import PLUGIN_DIRECTORY, RESOURCE_DIRECTORY

__all__ = [
    "Error", "Sculpture", "open", "shape", "from_arrays", "run_session", "tools", "shapes", "mesh_formats",
    "preferences", "set_preference",
]

_corvane._configure(os.environ.get("CORVANE_PLUGIN_PATH", PLUGIN_DIRECTORY), RESOURCE_DIRECTORY)
atexit.register(_corvane._shutdown)


def _points(array, name):
    points = np.asarray(array, dtype=np.float64)
    if points.ndim == 1 and points.shape == (3,):
        points = points[np.newaxis, :]
    if points.ndim != 2 or points.shape[1] != 3:
        raise ValueError(f"{name} must be an array of shape (n, 3), not {points.shape}")
    return points.tolist()


def _plain(value, where, source="corvane"):
    """`value` as JSON holds it: NumPy scalars and arrays become Python numbers and lists. JSON
    has no NaN or infinity, so a number that is not finite is refused here, named as the
    session format names its place (`source`: `where`)."""
    if isinstance(value, (np.generic, np.ndarray)):
        value = value.tolist()
    if isinstance(value, float) and not math.isfinite(value):
        raise Error(f"{source}: {where}: {value} is not a finite number")
    if isinstance(value, dict):
        return {key: _plain(item, f"{where}.{key}" if where else str(key), source) for key, item in value.items()}
    if isinstance(value, (list, tuple)):
        return [_plain(item, f"{where}[{i}]", source) for i, item in enumerate(value)]
    return value


def _step(kind, settings):
    """One step of the session format as JSON text."""
    return json.dumps({kind: _plain(settings, kind)}, allow_nan=False)


def _whole(value, where, lowest, highest):
    """A whole number in [lowest, highest], checked as a session file's is."""
    if isinstance(value, np.integer):
        value = int(value)
    if isinstance(value, bool) or not isinstance(value, int):
        raise Error(f"corvane: {where}: must be a whole number")
    if not lowest <= value <= highest:
        raise Error(f"corvane: {where}: {value} is out of range [{lowest}, {highest}]")
    return value


def _settings(**values):
    """The keyword arguments given (not None), as the session format's keys."""
    return {key: value for key, value in values.items() if value is not None}


class Sculpture:
    """A mesh being sculpted: a Catmull-Clark hierarchy whose highest level strokes sculpt
    unless :attr:`level` chooses another. Use it as a context manager, or call :meth:`close`."""

    def __init__(self, handle):
        self._s = handle

    # ---- life ------------------------------------------------------------------------------
    def close(self):
        """Releases the mesh; the object can do nothing afterwards."""
        self._s.close()

    @property
    def closed(self):
        return self._s.closed

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()
        return False

    # ---- levels ----------------------------------------------------------------------------
    @property
    def level(self):
        """The level strokes sculpt (0 is the base mesh). The levels above it follow what is
        sculpted on it, keeping their own detail."""
        return self._s.level

    @level.setter
    def level(self, index):
        self._s.level = index

    @property
    def level_count(self):
        return self._s.level_count

    def subdivide(self, levels=1):
        """Adds levels above the highest (from its current positions) and sculpts the new highest."""
        self._s.subdivide(_whole(levels, "subdivide", 1, _corvane.MOST_SUBDIVISIONS))

    # ---- arrays ----------------------------------------------------------------------------
    def positions(self, level=None):
        """Vertex positions of a level (the sculpted one by default) in the mesh's own space,
        an (n, 3) float32 array (a copy)."""
        return self._s.positions(level)

    def normals(self, level=None):
        """Unit vertex normals, an (n, 3) float32 array."""
        return self._s.normals(level)

    def faces(self, level=None):
        """Corner vertex indices, an (m, 4) array of quads or (m, 3) of triangles (uint32)."""
        return self._s.faces(level)

    def uvs(self, level=None):
        """Texture coordinates as (values (k, 2) float32, corners (m, 4 or 3) uint32): corner j of
        face i has values[corners[i, j]]; None when the mesh has none."""
        return self._s.uvs(level)

    def bounds(self):
        """The sculpted level's bounding box in world space: ((x, y, z) minimum, maximum)."""
        return self._s.bounds()

    # ---- placement, layers, freeze ---------------------------------------------------------
    def place(self, scale=1.0, rotate=(0.0, 0.0, 0.0), translate=(0.0, 0.0, 0.0)):
        """Places the mesh in the world: scaled (a number or per axis), rotated about x, y, then
        z (degrees), then moved. Paths are in world space."""
        if np.isscalar(scale):
            scale = (scale, scale, scale)
        self._s.place(*(tuple(_plain(value, name)) for value, name in
                        ((scale, "scale"), (rotate, "rotate"), (translate, "translate"))))

    def add_layer(self, name, strength=1.0, locked=False, active=True):
        """Adds a sculpt layer to the sculpted level; strokes go into it when it is active."""
        self._s.add_layer(name, strength, locked, active)

    def activate_layer(self, name, strength=None):
        """Makes the named layer the one strokes go into ("" for the base) and sets its strength."""
        self._s.activate_layer(name, strength)

    def layers(self):
        """The sculpted level's layers: dicts of name, strength, locked and active."""
        return self._s.layers()

    def freeze(self, strengths):
        """Sets every vertex's freeze from an array of one strength per vertex of the sculpted
        level, 0 (free) to 1 (held)."""
        self._s.freeze(np.asarray(strengths, dtype=np.float32))

    def frozen(self):
        """The freeze strength of every vertex of the sculpted level (0 to 1)."""
        return self._s.frozen()

    # ---- sculpting -------------------------------------------------------------------------
    def stroke(self, tool, path, *, size=0.1, strength=15.0, pressure=None, falloff=None, falloff_type=None,
               direction=None, invert=None, smooth=None, mirror=None, stamp=None, stamp_options=None,
               attributes=None, camera=None):
        """One stroke of `tool` along `path`, an (n, 3) array of world points the pointer passes.

        The settings are the session format's (docs/session-format.md): `size` the brush
        radius, `strength` 0..100 (one scale for every tool: 15 shows, 100 is strong and
        never moves the surface further than the radius), `pressure` 0..1, `falloff` a curve name, `falloff_type`
        "surface", "geodesic" or "volume", `direction` 0..12, `invert` or `smooth` the modifiers,
        `mirror` "none", "x", "y", "z", "world_x", ..., "topological", "xy", ..., "world_xyz",
        `stamp` an image path
        ("" for none), `stamp_options` a dict, `attributes` a dict of brush attributes, `camera`
        a dict of "eye" and "target". Settings left out keep the tool's values. Returns the
        stroke's figures (dabs, moved_vertices, max_displacement, seconds, ...) as a dict."""
        stroke = _settings(tool=tool, size=size, strength=strength, pressure=pressure, falloff=falloff,
                           falloff_type=falloff_type, direction=direction, invert=invert, smooth=smooth,
                           mirror=mirror, stamp=stamp, stamp_options=stamp_options, attributes=attributes,
                           camera=camera)
        if stamp is not None:
            stroke["stamp"] = os.fspath(stamp)
        stroke["path"] = _points(path, "path")
        return self._s.step(_step("stroke", stroke))

    def apply(self, tool, strength=15.0, *, from_camera=None, invert=None, smooth=None, attributes=None,
              camera=None):
        """`tool` once over the whole mesh at `strength` (0..100), every vertex at full weight
        (weighed by facing the camera with `from_camera`). Returns the figures as a dict."""
        step = _settings(tool=tool, strength=strength, from_camera=from_camera, invert=invert, smooth=smooth,
                         attributes=attributes, camera=camera)
        return self._s.step(_step("whole_mesh", step))

    def undo(self, count=1):
        """Takes back the last `count` strokes or whole-mesh applications."""
        self._s.step(_step("undo", count))

    def redo(self, count=1):
        self._s.step(_step("redo", count))

    @property
    def undo_count(self):
        return self._s.undo_count

    @property
    def redo_count(self):
        return self._s.redo_count

    # ---- output ----------------------------------------------------------------------------
    def render(self, eye=None, width=800, height=600):
        """A picture of the sculpted level from `eye` (world space; by default in front, above
        and to the right, showing all of it) towards its centre, through a field of view of 30
        degrees: a (height, width, 3) uint8 array. A view that cannot show the mesh (it is
        out of view, or the eye is inside it) gives a UserWarning saying so."""
        return self._s.render(None if eye is None else tuple(eye), width, height)

    def save_picture(self, path, eye=None, width=800, height=600):
        """The same picture written as PNG."""
        self._s.save_picture(os.fspath(path), None if eye is None else tuple(eye), width, height)

    def save(self, path, level=None):
        """Writes a level (the sculpted one by default) in the mesh's own space, in the format the
        file name gives, with texture coordinates, groups and materials when the mesh has them.
        Returns the vertices written."""
        return self._s.save(os.fspath(path), level)


def open(path, subdivide=0):  # noqa: A001 - the natural name for opening a mesh file
    """Opens a mesh file (OBJ, PLY, STL, glTF, GLB, FBX) and subdivides it `subdivide` times."""
    return Sculpture(_corvane._Sculpture.open(os.fspath(path), _whole(subdivide, "subdivide", 0, _corvane.MOST_SUBDIVISIONS)))


def shape(name, subdivide=0):
    """A built-in shape ("cube", "sphere", "plane", "triangles") subdivided `subdivide` times."""
    return Sculpture(_corvane._Sculpture.shape(name, _whole(subdivide, "subdivide", 0, _corvane.MOST_SUBDIVISIONS)))


def from_arrays(positions, faces, subdivide=0):
    """A mesh from an (n, 3) array of positions and an (m, 3) or (m, 4) array of faces."""
    return Sculpture(_corvane._Sculpture.from_arrays(np.asarray(positions), np.asarray(faces),
                                                     _whole(subdivide, "subdivide", 0, _corvane.MOST_SUBDIVISIONS)))


def set_preference(name, value):
    """Sets a preference of the loaded modules by name (corvane.preferences() lists them)."""
    _corvane._set_preference(name, json.dumps(_plain(value, f"preferences.{name}"), allow_nan=False))


def run_session(session, out=None, *, echo=False):
    """Runs a session, a file path or a dict in the session format, writing the mesh, the
    picture and report.json into `out` (a fresh temporary folder when not given). Relative
    paths in a dict start at the current folder. Returns the report as a dict (with "out")."""
    out = os.fspath(out) if out is not None else tempfile.mkdtemp(prefix="corvane-")
    if isinstance(session, dict):
        _corvane._run_session(json.dumps(_plain(session, "", "session"), allow_nan=False), "", out, echo)
    else:
        _corvane._run_session("", os.fspath(session), out, echo)
    with builtins.open(os.path.join(out, "report.json")) as report:
        result = json.load(report)
    result["out"] = out
    return result
