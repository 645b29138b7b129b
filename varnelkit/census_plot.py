"""Plots of a census."""
