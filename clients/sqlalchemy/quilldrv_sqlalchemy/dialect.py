"""The ``quilldrv+pyodbc`` dialect: connection through pyodbc, reflection through the ODBC
catalog functions (SQLTables, SQLColumns) and SQL as the driver's engine reads it.

The driver has no default schema function, no sequences, keys or indexes, and its node tables
are read-only, so the dialect asks the server nothing at connect time beyond what pyodbc's
SQLGetInfo gives, and reflection answers empty lists for keys and indexes.
"""
import re

from sqlalchemy import types as sqltypes
from sqlalchemy.connectors.pyodbc import PyODBCConnector
from sqlalchemy.engine import default, reflection
from sqlalchemy.sql import compiler

# ODBC SQL data type codes (sql.h, sqlext.h, sqlucode.h) to SQLAlchemy types.
_ODBC_TYPES = {
    1: sqltypes.CHAR, 12: sqltypes.VARCHAR, -1: sqltypes.TEXT,
    -8: sqltypes.NCHAR, -9: sqltypes.NVARCHAR, -10: sqltypes.UnicodeText,
    -7: sqltypes.BOOLEAN, 16: sqltypes.BOOLEAN,
    -6: sqltypes.SMALLINT, 5: sqltypes.SMALLINT, 4: sqltypes.INTEGER, -5: sqltypes.BIGINT,
    2: sqltypes.NUMERIC, 3: sqltypes.DECIMAL,
    6: sqltypes.FLOAT, 7: sqltypes.REAL, 8: sqltypes.FLOAT,
    9: sqltypes.DATE, 91: sqltypes.DATE, 10: sqltypes.TIME, 92: sqltypes.TIME,
    11: sqltypes.TIMESTAMP, 93: sqltypes.TIMESTAMP,
    -2: sqltypes.BINARY, -3: sqltypes.VARBINARY, -4: sqltypes.LargeBinary,
}
_SIZED = (sqltypes.CHAR, sqltypes.VARCHAR, sqltypes.NCHAR, sqltypes.NVARCHAR,
          sqltypes.BINARY, sqltypes.VARBINARY)


class QuillCompiler(compiler.SQLCompiler):
    """Statements as the driver's engine reads them: LIMIT and OFFSET as literal numbers."""

    def limit_clause(self, select, **kw):
        kw = dict(kw, literal_binds=True)
        text = ""
        if select._limit_clause is not None:
            text += "\n LIMIT " + self.process(select._limit_clause, **kw)
        if select._offset_clause is not None:
            if select._limit_clause is None:
                text += "\n LIMIT -1"
            text += " OFFSET " + self.process(select._offset_clause, **kw)
        return text


class QuillIdentifierPreparer(compiler.IdentifierPreparer):
    """Double-quoted identifiers; mixed-case names such as blockNumber are quoted as they are."""

    reserved_words = compiler.RESERVED_WORDS | {"result", "number", "hash", "value", "size"}


class QuillDialect(PyODBCConnector, default.DefaultDialect):
    """SQLAlchemy dialect for the Quillmoor Ethereum ODBC driver through pyodbc."""

    name = "quilldrv"
    driver = "pyodbc"
    supports_statement_cache = True
    statement_compiler = QuillCompiler
    preparer = QuillIdentifierPreparer
    supports_alter = False
    supports_sequences = False
    supports_native_boolean = False
    supports_unicode_statements = True
    supports_unicode_binds = True
    returns_unicode_strings = True
    description_encoding = None
    postfetch_lastrowid = False
    supports_sane_rowcount = False
    supports_sane_multi_rowcount = False
    default_paramstyle = "qmark"

    def _get_default_schema_name(self, connection):
        # The driver has no SCHEMA_NAME(); the tables live in the catalog's one schema.
        return None

    def _get_server_version_info(self, connection, allow_chars=True):
        dbapi_connection = connection.connection
        text = dbapi_connection.getinfo(self.dbapi.SQL_DBMS_VER) or ""
        return tuple(int(part) for part in re.findall(r"\d+", text)) or None

    def _check_unicode_returns(self, connection, additional_tests=None):
        return True

    def _check_unicode_description(self, connection):
        return True

    def get_isolation_level(self, dbapi_connection):
        return "READ COMMITTED"

    def set_isolation_level(self, dbapi_connection, level):
        # The node's tables are read-only: every level reads the same.
        pass

    def do_rollback(self, dbapi_connection):
        dbapi_connection.rollback()

    def do_ping(self, dbapi_connection):
        cursor = dbapi_connection.cursor()
        try:
            cursor.execute("SELECT 1 FROM INFO_SCHEMA.SCHEMATA")
            cursor.fetchall()
        finally:
            cursor.close()
        return True

    @staticmethod
    def _cursor(connection):
        return connection.connection.cursor()

    def _tables(self, connection, schema, table=None, kinds="TABLE,VIEW"):
        cursor = self._cursor(connection)
        try:
            rows = cursor.tables(table=table, schema=schema, tableType=kinds).fetchall()
        finally:
            cursor.close()
        return [row for row in rows if schema is not None or row[1] != "INFO_SCHEMA"]

    @reflection.cache
    def get_schema_names(self, connection, **kw):
        cursor = self._cursor(connection)
        try:
            rows = cursor.tables(schema="%", catalog="", table="").fetchall()
        finally:
            cursor.close()
        return sorted({row[1] for row in rows if row[1]})

    @reflection.cache
    def get_table_names(self, connection, schema=None, **kw):
        # The node's read-only tables are reported with type VIEW; they are this driver's data.
        return [row[2] for row in self._tables(connection, schema)]

    @reflection.cache
    def get_view_names(self, connection, schema=None, **kw):
        return []

    def has_table(self, connection, table_name, schema=None, **kw):
        return any(row[2] == table_name for row in self._tables(connection, schema, table_name))

    @reflection.cache
    def get_columns(self, connection, table_name, schema=None, **kw):
        cursor = self._cursor(connection)
        try:
            rows = cursor.columns(table=table_name, schema=schema).fetchall()
        finally:
            cursor.close()
        columns = []
        for row in rows:
            if row[2] != table_name:
                continue
            kind = _ODBC_TYPES.get(row[4], sqltypes.NullType)
            size = row[6]
            if kind in _SIZED and size:
                column_type = kind(size)
            elif kind in (sqltypes.NUMERIC, sqltypes.DECIMAL) and size:
                column_type = kind(precision=size, scale=row[8])
            else:
                column_type = kind()
            columns.append({
                "name": row[3],
                "type": column_type,
                "nullable": bool(row[10]),
                "default": row[12],
                "autoincrement": False,
                "comment": row[11],
            })
        return columns

    def get_pk_constraint(self, connection, table_name, schema=None, **kw):
        return {"constrained_columns": [], "name": None}

    def get_foreign_keys(self, connection, table_name, schema=None, **kw):
        return []

    def get_indexes(self, connection, table_name, schema=None, **kw):
        return []

    def get_unique_constraints(self, connection, table_name, schema=None, **kw):
        return []

    def get_check_constraints(self, connection, table_name, schema=None, **kw):
        return []

    def get_table_comment(self, connection, table_name, schema=None, **kw):
        rows = self._tables(connection, schema, table_name)
        return {"text": rows[0][4] if rows else None}


dialect = QuillDialect
