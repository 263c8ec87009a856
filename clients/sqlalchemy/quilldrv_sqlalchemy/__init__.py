"""SQLAlchemy dialect for the Quillmoor Ethereum ODBC driver, reached through pyodbc.

Importing this package registers the dialect as ``quilldrv+pyodbc`` (and ``quilldrv``), so
``create_engine("quilldrv+pyodbc://@quill_demo")`` works without installing anything with pip;
an installed copy registers the same names through its entry points.
"""
from sqlalchemy.dialects import registry

from .dialect import QuillDialect

__all__ = ["QuillDialect"]

registry.register("quilldrv.pyodbc", "quilldrv_sqlalchemy.dialect", "QuillDialect")
registry.register("quilldrv", "quilldrv_sqlalchemy.dialect", "QuillDialect")
