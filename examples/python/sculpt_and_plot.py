"""Sculpt a mesh from Python and plot how far each vertex moved.

Run from the repository's root after building (Debian's python3, which has NumPy and
matplotlib from apt):

    PYTHONPATH=build/default/python python3 examples/python/sculpt_and_plot.py

It writes displacement.png (and bumpy.obj) into the current folder.
"""

import matplotlib

matplotlib.use("Agg")  # files, no window
import matplotlib.pyplot as plt
import numpy as np

import corvane

# %% A sphere, subdivided four times: 24 576 quads to sculpt.
with corvane.shape("sphere", subdivide=4) as sphere:
    before = sphere.positions()

    # %% Three strokes across the front, each a path of world points; then one undone.
    t = np.linspace(-0.6, 0.6, 25)
    for height, tool in [(-0.4, "Sculpt"), (0.0, "Wax"), (0.4, "Knife")]:
        path = np.column_stack([t, np.full_like(t, height) + 0.1 * np.sin(4 * t), np.full_like(t, 2.0)])
        report = sphere.stroke(tool, path, size=0.25, strength=30, mirror="x")
        print(f"{tool}: {report['dabs']} dabs, {report['moved_vertices']} vertices moved")
    sphere.undo()

    # %% How far each vertex moved, over the front of the sphere.
    moved = np.linalg.norm(sphere.positions() - before, axis=1)
    front = before[:, 2] > 0
    figure, axes = plt.subplots(1, 2, figsize=(11, 4.5))
    points = axes[0].scatter(before[front, 0], before[front, 1], c=moved[front], s=6, cmap="magma")
    axes[0].set_aspect("equal")
    axes[0].set_title("displacement seen from the front")
    figure.colorbar(points, ax=axes[0], label="mesh units")
    axes[1].hist(moved[moved > 0], bins=40)
    axes[1].set_xlabel("displacement of the moved vertices")
    axes[1].set_ylabel("vertices")
    figure.tight_layout()
    figure.savefig("displacement.png", dpi=100)
    sphere.save("bumpy.obj")
    print(f"{np.count_nonzero(moved)} of {len(moved)} vertices moved; wrote displacement.png and bumpy.obj")
