"""The validators behind validate.py: one module per kind of output."""
