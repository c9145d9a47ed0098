// Every declaration of the package, used as CommonJS.
import kessa = require('kessa2json');

const findings: kessa.Finding[] = kessa.check('a=007\n');
const json: string = kessa.convert(new Uint8Array([97, 61, 49, 10]));
function isFault(error: unknown): error is kessa.KessaSyntaxError {
  return error instanceof kessa.KessaSyntaxError && error instanceof SyntaxError;
}
void kessa.init().then(() => kessa.initSync());
console.log(findings, json, isFault(null), kessa.parse('a=1\n'), kessa.convertBytes('a=1\n'));
const laidOut: string = kessa.format('a={b=1}\n', { indent: '\t' });
const refused = (error: unknown) => error instanceof kessa.KessaEncodeError && error.code;
console.log(laidOut, kessa.stringify({ a: 1 }), refused(null));
const unusable = (error: unknown) => error instanceof kessa.KessaSchemaError && error.reason;
console.log(kessa.check('a=1\n', { schema: true, schemaDraft: '7' }), unusable(null));
