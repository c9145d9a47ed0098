// Every declaration of the package, used as an ES module.
import {
  check, convert, convertBytes, format, init, initSync, KessaEncodeError, KessaSchemaError, KessaSyntaxError, parse,
  stringify,
} from 'kessa2json';
import type { CheckOptions, Finding, KessaText, LayoutOptions, Schema, SchemaDraft } from 'kessa2json';
import * as inline from 'kessa2json/inline';

await init();
initSync();
const inlined: string = inline.convert(new Uint8Array([97, 61, 49, 10]));
const text: KessaText = 'a=1\n';
const json: string = convert(text);
const bytes: Uint8Array = convertBytes(new TextEncoder().encode(text));
const value: unknown = parse(text, (key, v) => v);
const findings: Finding[] = check(text);
for (const f of findings) {
  const fields: [string, 'note' | 'warning' | 'error', string, number, number, number, number, number, number] =
    [f.code, f.severity, f.message, f.line, f.column, f.endLine, f.endColumn, f.offset, f.length];
  console.log(fields);
}
try {
  convert('}\n');
} catch (error) {
  if (error instanceof KessaSyntaxError) {
    const where: number[] = [error.line, error.column, error.endLine, error.endColumn, error.offset, error.length];
    const base: SyntaxError = error;
    console.log(where, base.message);
  }
}
console.log(json, bytes, value, inlined);
const layout: LayoutOptions = { indent: '\t' };
const laidOut: string = format(text, layout);
const laidOutBytes: Uint8Array = format(bytes, { indent: 2 });
const written: string = stringify({ a: [1, 2] }, { indent: 4 });
try {
  stringify({ a: true });
} catch (error) {
  if (error instanceof KessaEncodeError) {
    const why: [string, (string | number)[], string] = [error.code, error.path, error.message];
    console.log(why);
  }
}
console.log(laidOut, laidOutBytes, written);
// @ts-expect-error: an indent is a number or a tab
format(text, { indent: '  ' });
// @ts-expect-error: a number is not a kessa text
convert(42);
const schema: Schema = { properties: { a: { maximum: 0 } } };
const draft: SchemaDraft = '2019-09';
const options: CheckOptions = { schema, schemaDraft: draft };
const [first] = check(text, options);
const place: [string | undefined, string | undefined] = [first?.pointer, first?.keyword];
try {
  check(text, { schema: '{"type": "int"}', schemaDraft: 4 });
} catch (error) {
  if (error instanceof KessaSchemaError) {
    const where: [string, string, number | null, number | null] = [error.reason, error.file, error.line, error.column];
    console.log(where, place);
  }
}
// @ts-expect-error: a draft is one of the names kessa2json --schema-draft takes
check(text, { schema, schemaDraft: 5 });
