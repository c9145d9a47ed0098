/** A kessa text: a string, or its bytes (UTF-8 or not). */
export type KessaText = string | Uint8Array;

/** Where init() takes the WebAssembly module from. */
export type ModuleSource =
  | string
  | URL
  | Response
  | PromiseLike<Response>
  | ArrayBuffer
  | ArrayBufferView
  | WebAssembly.Module;

/** A place where the conversion changes or drops what the text says, or a malformed text's fault. */
export interface Finding {
  /** The kind's stable name, such as "trailing-zeros"; "malformed" for the fault of a malformed text. */
  code: string;
  severity: 'note' | 'warning' | 'error';
  message: string;
  /** Where the bytes concerned begin; lines and columns count from 1, columns in characters. */
  line: number;
  column: number;
  /** The position just past them. */
  endLine: number;
  endColumn: number;
  /** The bytes concerned, counted in the text's UTF-8. */
  offset: number;
  length: number;
  /** A schema's finding: the JSON pointer of the value, such as "/server/port". */
  pointer?: string;
  /** A schema's finding: the keyword that refuses the value, such as "maximum". */
  keyword?: string;
}

/** A kessa text that cannot be converted: unbalanced braces, a key with no value, or a last value with no line break after it. */
export class KessaSyntaxError extends SyntaxError {
  private constructor();
  readonly name: 'KessaSyntaxError';
  /** Where the fault lies, from 1; columns in characters. */
  readonly line: number;
  readonly column: number;
  readonly endLine: number;
  readonly endColumn: number;
  /** In bytes of the text's UTF-8. */
  readonly offset: number;
  readonly length: number;
}

/** Loads the WebAssembly module, once; by default the package's own kessa.wasm. Needed before the first call in browsers. */
export function init(source?: ModuleSource): Promise<void>;

/** Loads the module at once: by default, in Node, from the package's folder. */
export function initSync(source?: ArrayBuffer | ArrayBufferView | WebAssembly.Module): void;

/** The JSON kessa2json writes for the text. Throws KessaSyntaxError for a malformed text, and TypeError where the JSON keeps bytes that are not UTF-8. */
export function convert(text: KessaText): string;

/** The JSON kessa2json writes for the text, byte for byte. */
export function convertBytes(text: KessaText): Uint8Array;

/** The value the JSON of the text holds: JSON.parse(convert(text), reviver). */
export function parse(text: KessaText, reviver?: (this: any, key: string, value: any) => any): any;

/** A JSON Schema: its JSON text or that text's UTF-8 bytes, or the value (an object, or true or false). */
export type Schema = string | Uint8Array | object | boolean;

/** The drafts a schema that names none with $schema can be read as: 7 by default. */
export type SchemaDraft = '4' | '6' | '7' | '2019-09' | '2020-12' | 4 | 6 | 7;

/** What check() checks the text against besides the notation. */
export interface CheckOptions {
  /** A JSON Schema for what the text becomes. Its $refs to URLs (other than the drafts' meta-schemas) and to files are not followed: such a schema throws KessaSchemaError. */
  schema?: Schema;
  /** The draft of a schema that names none, as kessa2json --schema-draft. */
  schemaDraft?: SchemaDraft;
}

/** The findings of the text in document order; for a malformed text, those before the fault and then the fault ("malformed"). With a schema, also where what the text becomes does not fit it, as kessa2json --check --schema. Throws KessaSchemaError for a schema that cannot be used, RangeError for a draft not known. */
export function check(text: KessaText, options?: CheckOptions): Finding[];

/** A JSON Schema that cannot be used: not JSON, not a schema, or a $ref to a URL or a file, which the package does not follow. */
export class KessaSchemaError extends Error {
  private constructor();
  readonly name: 'KessaSchemaError';
  /** Why, such as 'not JSON: ...'. */
  readonly reason: string;
  /** "<schema>" for the schema given, or what one of its $refs names. */
  readonly file: string;
  /** The place in the schema's JSON text (for a value, its JSON.stringify text), from 1; null where none is to blame. */
  readonly line: number | null;
  readonly column: number | null;
}

/** The layout of format() and stringify(). */
export interface LayoutOptions {
  /** Spaces a level, from 1 to 16 (4 by default), or '\t' for a tab a level. */
  indent?: number | '\t';
}

/** The text laid out again in the formatter's layout, the same bytes as the library's formatter: a string for a string, bytes for bytes. Throws KessaSyntaxError for a malformed text. */
export function format(text: string, options?: LayoutOptions): string;
export function format(text: Uint8Array, options?: LayoutOptions): Uint8Array;

/** A value that no kessa text gives; the message names its path and the reason. */
export class KessaEncodeError extends Error {
  private constructor();
  readonly name: 'KessaEncodeError';
  /** The reason's stable name, such as "no-boolean" or "numeral-string". */
  readonly code: string;
  /** The keys and array indices from the top-level object to the value (or to the key no text gives). */
  readonly path: (string | number)[];
}

/** The kessa text of an object, which parse() gives back deep-equal. Throws KessaEncodeError for a value no kessa text gives, and TypeError for what JSON cannot hold (undefined, functions, symbols, BigInt, Map, Set, cycles). */
export function stringify(value: unknown, options?: LayoutOptions): string;
